total = 0
for i in range(1, 10000001):
    total = total + i * 2 - 1
print(total)
