// #define with and without parameters, and conditional compilation.
#define SIZE 4
#define TWICE(x) ((x) * 2)
#define ADD(a, b) (a + b)
#define EMPTY

int scaled(int v)
{
#define STEP 3
    return v * STEP;
}

int main()
{
    int a[SIZE];
    Test(sizeof(a));                  // 16
    Test(TWICE(21));                  // 42 (a parameterised macro gives a double)
    Test(ADD(2, 3) / 2 * 10);         // 25
    Test(scaled(2) + scaled(3));      // 15
#ifdef EMPTY
    Test(1);
#else
    Test(0);
#endif
#if SIZE
    Test(SIZE);                       // 4
#endif
#ifndef MISSING
    Test(5);
#endif
    return 0;
}
