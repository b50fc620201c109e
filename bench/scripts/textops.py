s = "alpha beta gamma delta epsilon zeta eta theta;"
for i in range(18):
    s = s + s
parts = s.split(";")
joined = "|".join(parts)
r = joined.replace("gamma", "GAMMA")
print(len(s), len(parts), len(r))
