local a = {}
local x = 12345
for i = 1, 200000 do
  x = (x * 16807) % 2147483647
  a[i] = x
end
table.sort(a)
print(string.format("%.0f %.0f", a[1], a[200000]))
