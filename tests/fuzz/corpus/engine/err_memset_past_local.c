// exit: 1
// A library write past a local array ends the run at the array's end, before
// it reaches the interpreter's own records of the values next to it.
int main()
{
    char b[10];
    int after = 7;
    memset(b, 'z', 10);
    printf("%d %c\n", after, b[9]);
    memset(b, 'z', 100);
    printf("not reached\n");
    return 0;
}
