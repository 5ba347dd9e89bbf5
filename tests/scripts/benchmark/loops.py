a = list(range(500))
b = [500 - i for i in range(500)]
s = 0
for i in range(500):
    for j in range(500):
        s = (s + a[i] * b[j]) % 100003
print("test(%d)" % s)
