// exit: 1
// A local array of no elements holds nothing a library call may write to;
// the stack around it stays the interpreter's.
int main()
{
    char b[0];
    int n = 5;
    printf("%d\n", n);
    sprintf(b, "ab");
    printf("not reached\n");
    return 0;
}
