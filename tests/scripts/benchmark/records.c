/* Arrays of structs. */
struct point { int x; int y; int weight; };
struct point points[200];

int main()
{
    int round, i, best = 0;
    for (i = 0; i < 200; i++) {
        points[i].x = i * 7 % 101;
        points[i].y = i * 13 % 97;
        points[i].weight = 0;
    }
    for (round = 0; round < 200; round++)
        for (i = 0; i < 200; i++) {
            points[i].weight += points[i].x * points[(i + round) % 200].y % 17;
            if (points[i].weight > best)
                best = points[i].weight;
        }
    Test(best);
    return 0;
}
