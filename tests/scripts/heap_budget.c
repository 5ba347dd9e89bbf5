// What a script holds on the heap is bounded: past the bound malloc, calloc
// and realloc give NULL, what the script already holds stays as it was, and
// what it frees counts again.
int main()
{
    char *a = malloc(300000000);
    char *b;
    Test(a != 0);                     // 1
    a[299999999] = 'z';
    b = malloc(300000000);
    Test(b == 0);                     // 1
    b = calloc(3000, 100000);
    Test(b == 0);                     // 1
    b = realloc(a, 600000000);
    Test(b == 0);                     // 1
    Test(a[299999999]);               // 122
    free(a);
    b = malloc(300000000);
    Test(b != 0);                     // 1
    free(b);
    return 0;
}
