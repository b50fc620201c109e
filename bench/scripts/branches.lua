local n, count = 0, 0
while n < 1000000 do
  n = n + 1
  if n % 3 == 0 then
    count = count + 1
  else
    local m = n % 5
    if m == 1 then count = count + 2
    elseif m == 2 or m == 3 then count = count + 3
    else count = count - 1 end
  end
end
print(count)
