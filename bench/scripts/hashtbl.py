h = {}
for i in range(200000):
    h["k" + str(i)] = i
total = 0
for i in range(200000):
    total = total + h["k" + str(i)]
print(total)
