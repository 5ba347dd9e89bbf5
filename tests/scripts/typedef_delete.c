// typedef names; delete removes a global, which can then be defined again.
// Inside a function the name is gone at once, but a function deleting itself
// while it runs keeps its storage until the call is over, and a macro can be
// defined and deleted again on every call.
typedef int number;
typedef struct { int a; char b; } record;
typedef char line[8];
number n = 5;
int counter = 0;
int twice(int v) { return 2 * v; }
void selfDeleting()
{
    delete selfDeleting;
    counter = counter + 10;
}
int redefine()
{
    #define LIMIT 3
    int n = LIMIT;
    delete LIMIT;
    return n;
}
int main()
{
    record r;
    line l;
    int i, sum = 0;
    r.a = 7;
    Test(n + r.a);                    // 8: main runs after the top level made n 1.5
    Test(sizeof(l));                  // 8
    selfDeleting();                   // runs to its end after deleting itself
    Test(counter);                    // 10
    for (i = 0; i < 1000; i++)        // defined and deleted again on every call
        sum = sum + redefine();
    Test(sum);                        // 3000
    return 0;
}
Test(twice(3));                       // 6
delete twice;
int twice(int v) { return 3 * v; }
Test(twice(3));                       // 9
delete n;
double n = 1.5;
Test(n * 2);                          // 3
