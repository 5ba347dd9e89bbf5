// printf's edge cases: missing and unsuitable arguments, %%, width and
// precision, snprintf's bound, sprintf's count and NUL.
int main()
{
    char b[10];
    int n;
    printf("%d and %d\n", 5);
    printf("[%s] %d\n", 3, 2.9);
    printf("[%8.2f] 100%%\n", 3.14159);
    printf("[%*d] [%.*f]\n", 5, 42, 2, 2.71828);
    memset(b, 'z', 10);
    n = sprintf(b, "ab%d", 7);
    printf("%d %s %d %c\n", n, b, b[3], b[4]);
    memset(b, 'z', 10);
    n = snprintf(b, 4, "abcdef");
    printf("%d %s %c\n", n, b, b[4]);
    printf("%x %lx %hd\n", -1, -1, 70000);
    printf("unfinished %");
    printf("\n");
    return 0;
}
