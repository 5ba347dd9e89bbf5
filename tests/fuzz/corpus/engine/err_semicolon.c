// exit: 1
int main()
{
    int a, b;
    a = 1, b = 2;
    return 0;
}
