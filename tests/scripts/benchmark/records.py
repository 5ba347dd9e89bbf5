class Point:
    __slots__ = ("x", "y", "weight")
points = []
for i in range(200):
    p = Point()
    p.x = i * 7 % 101
    p.y = i * 13 % 97
    p.weight = 0
    points.append(p)
best = 0
for r in range(200):
    for i in range(200):
        points[i].weight += points[i].x * points[(i + r) % 200].y % 17
        if points[i].weight > best:
            best = points[i].weight
print("test(%d)" % best)
