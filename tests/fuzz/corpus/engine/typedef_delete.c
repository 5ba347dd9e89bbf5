// typedef names; delete removes a global, which can then be defined again.
typedef int number;
typedef struct { int a; char b; } record;
typedef char line[8];
number n = 5;
int twice(int v) { return 2 * v; }
int main()
{
    record r;
    line l;
    r.a = 7;
    Test(n + r.a);                    // 8: main runs after the top level made n 1.5
    Test(sizeof(record));             // 8
    Test(sizeof(l));                  // 8
    return 0;
}
Test(twice(3));                       // 6
delete twice;
int twice(int v) { return 3 * v; }
Test(twice(3));                       // 9
delete n;
double n = 1.5;
Test(n * 2);                          // 3
