// exit: 1
int main()
{
    char *p = malloc(16);
    strcpy(p, "heap");
    printf("%s\n", p);
    free(p);
    free(p);
    return 0;
}
