// exit: 1
int f(int a)
{
    if (a) return 1;
}
int main()
{
    return f(0);
}
