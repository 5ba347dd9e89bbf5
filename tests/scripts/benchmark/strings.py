s = 0
for r in range(200):
    text = []
    for i in range(200):
        text.append(chr(ord('a') + (i + r) % 26))
    t = "".join(text)
    for ch in t:
        s = (s * 7 + ord(ch)) % 100003
print("test(%d)" % s)
