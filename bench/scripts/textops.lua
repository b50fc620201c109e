local s = "alpha beta gamma delta epsilon zeta eta theta;"
for i = 1, 18 do s = s .. s end
local parts = {}
for piece in (s .. ";"):gmatch("([^;]*);") do parts[#parts + 1] = piece end
local joined = table.concat(parts, "|")
local r = joined:gsub("gamma", "GAMMA")
print(#s, #parts, #r)
