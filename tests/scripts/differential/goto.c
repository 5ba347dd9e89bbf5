// goto searches forward for its label in the statements it enters.
int g = 0;

int leave(int n)
{
    int i;
    for (i = 0; i < 10; i++) {
        if (i == n) goto out;
        g++;
    }
    g = 1000;
out:
    return g;
}

int main()
{
    int a = 1;
    goto down;
    a = 2;
down:
    Test(a);                          // 1
    Test(leave(3));                   // 3
    if (a == 2) a = 5; else { goto inelse; a = 6; }
    if (a == 1) { a = 7; } else { inelse: a = 8; }
    Test(a);                          // 8
    return 0;
}
