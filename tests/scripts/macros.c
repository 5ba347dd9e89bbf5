// #define with and without parameters, and conditional compilation:
// constants and macros in #if, #ifdef and #ifndef on macros and variables,
// nesting, and a branch not taken that is never evaluated.
#define SIZE 4
#define TWICE(x) ((x) * 2)
#define ADD(a, b) (a + b)
#define EMPTY
#define LETTER 'A' + 1
int variable;

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
#ifndef MISSING
    Test(5);
#endif
#if LETTER
    Test(8);                          // only the body's first token counts
#endif
#ifdef variable
    Test(9);
#endif
#ifndef variable
    Test(0);
#endif
#if 0
#if 1
    Test(0);
#else
    Test(0);
#endif
#else
    Test(10);
#endif
#if 1
#if 0
    Test(0);
#else
    Test(11);
#endif
#endif
#ifdef MISSING
#if MISSING_VERSION
    Test(0);
#endif
#endif
#if 0
    Test(0);
#else
    Test(12);
#else
    Test(0);                          // a second #else flips back
#endif
    return 0;
}
