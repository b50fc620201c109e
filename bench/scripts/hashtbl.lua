local h = {}
for i = 0, 199999 do h["k" .. i] = i end
local total = 0
for i = 0, 199999 do total = total + h["k" .. i] end
print(string.format("%.0f", total))
