// exit: 1
// sprintf into a local array is bounded by that array, not by the rest of
// the stack behind it.
int main()
{
    char b[10];
    int n = sprintf(b, "ab%6d", 7);
    printf("%d %s\n", n, b);
    sprintf(b, "ab%400d", 7);
    printf("not reached\n");
    return 0;
}
