n = 0
count = 0
while n < 1000000:
    n = n + 1
    if n % 3 == 0:
        count = count + 1
    else:
        m = n % 5
        if m == 1:
            count = count + 2
        elif m == 2 or m == 3:
            count = count + 3
        else:
            count = count - 1
print(count)
