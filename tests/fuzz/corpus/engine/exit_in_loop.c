// exit: 3
int main()
{
    int i;
    for (i = 0; i < 10; i++) {
        printf("%d\n", i);
        if (i == 2)
            exit(3);
    }
    printf("not reached\n");
    return 0;
}
