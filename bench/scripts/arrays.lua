local a = {}
for i = 0, 999999 do a[i] = i end
local total = 0
for i = 0, 999999 do total = total + a[i] end
print(string.format("%.0f", total))
