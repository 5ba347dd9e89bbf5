// exit: 1
int main()
{
    int i;
    int j;
    printf("%d\n", sscanf("4 5", "%d %d", &i, &j));
    printf("%d %d\n", i, j);
    sscanf("1 2", "%d %d", &i, j);
    return 0;
}
