a = [0] * 1000000
for i in range(1000000):
    a[i] = i
total = 0
for i in range(1000000):
    total = total + a[i]
print(total)
