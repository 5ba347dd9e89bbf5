// exit: 1
char small[4];
int main()
{
    strcpy(small, "abc");
    printf("%s\n", small);
    strcpy(small, "abcd");
    return 0;
}
