// for, while and do with break and continue; declarations in loop bodies.
int main()
{
    int i, n = 0;
    for (i = 0; i < 3; i++) { if (i == 1) continue; n += i; }
    Test(n);                          // 2
    n = 0;
    do { n++; if (n < 5) continue; break; } while (1);
    Test(n);                          // 5
    n = 0;
    for (;;) { if (++n == 4) break; }
    Test(n);                          // 4
    n = 0;
    for (i = 0; i < 3; i++) {
        int j;
        for (j = 0; j < 3; j++) {
            if (j == 2) break;
            n = n * 10 + j;
        }
    }
    Test(n);                          // 10101
    i = 10;
    while (i > 0) { i -= 3; if (i == 4) continue; n = i; }
    Test(n);                          // -2
    for (i = 0; i < 0; i++) n = 99;
    Test(i);                          // 0
    i = 0;
    do i++; while (i < 7);
    Test(i);                          // 7
    return 0;
}
