a = [0] * 200000
x = 12345
for i in range(200000):
    x = (x * 16807) % 2147483647
    a[i] = x
a.sort()
print(a[0], a[199999])
