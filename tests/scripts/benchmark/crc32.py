table = []
for n in range(256):
    c = n
    for k in range(8):
        c = (0xEDB88320 ^ (c >> 1)) if c & 1 else (c >> 1)
    table.append(c)
seed = 12345
buffer = bytearray(65536)
for i in range(65536):
    seed = (seed * 1103515245 + 12345) & 0xFFFFFFFF
    buffer[i] = (seed >> 16) & 0xFF
c = 0xFFFFFFFF
for b in buffer:
    c = table[(c ^ b) & 0xFF] ^ (c >> 8)
print("%08x" % (c ^ 0xFFFFFFFF))
