// Script functions: recursion, prototypes, void, array parameters, statics.
int fib(int n);

int fib(int n)
{
    if (n < 2)
        return n;
    return fib(n - 1) + fib(n - 2);
}

void nothing(void) { }

void fill(int a[], int n, int v)
{
    int i;
    for (i = 0; i < n; i++)
        a[i] = v + i;
}

void rows(char r[][4], int n)
{
    int i;
    for (i = 0; i < n; i++)
        r[i][0] = 'a' + i;
}

int counter()
{
    static int n = 5;
    return n++;
}

int other()
{
    static int n = 40;                // not counter's n
    return n += 2;
}

struct pair { int x; int y; };

struct pair swap(struct pair p)
{
    struct pair q;
    q.x = p.y;
    q.y = p.x;
    return q;
}

int sum16(int a, int b, int c, int d, int e, int f, int g, int h,
          int i, int j, int k, int l, int m, int n, int o, int p)
{
    return a + b + c + d + e + f + g + h + i + j + k + l + m + n + o + p;
}

void setp(int *p) { *p = 42; }

int viaAddress(int n) { setp(&n); return n; } // a parameter's address can be taken

int main()
{
    int v[8];
    char r[3][4];
    struct pair p;
    Test(fib(20));                    // 6765
    nothing();
    fill(v, 8, 100);
    Test(v[7]);                       // 107
    rows(r, 3);
    Test(r[2][0]);                    // 99
    Test(counter());                  // 5
    Test(other() * 100 + counter());  // 4206
    p.x = 1;
    p.y = 2;
    p = swap(p);
    Test(p.x * 10 + p.y);             // 21
    Test(sum16(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16)); // 136
    Test(viaAddress(1));              // 42
    return 0;
}
