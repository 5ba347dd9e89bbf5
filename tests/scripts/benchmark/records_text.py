s = 0
length = 0
for i in range(10000):
    line = "%05d %08x %s %6d" % (i, i * 4 + 0x8000, "ODD" if i & 1 else "EVEN", i * 37 % 1000 - 500)
    fields = line.split()
    number = int(fields[0], 10)
    address = int(fields[1], 16)
    value = int(fields[3], 10)
    s = (s + number + address % 1000 + value + 500) % 1000003
    length += len(line)
print("%d %d" % (s, length))
