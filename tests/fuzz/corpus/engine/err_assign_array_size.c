// exit: 1
int main()
{
    int a[2];
    int b[3];
    a = b;
    return 0;
}
