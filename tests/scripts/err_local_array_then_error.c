// exit: 1
// An error inside a call leaves that call's locals behind; an unsized local
// array's data is released with them at clean-up (the sanitizer and memcheck
// runs of this test catch a leak).
int sum(int count)
{
    int local[] = {10, 20, 30, 40};
    int i, total = 0;
    for (i = 0; i < count; i++)
        total += local[i];
    return total;
}

int main()
{
    printf("%d\n", sum(4));
    printf("%d\n", sum(8));
    return 0;
}
