// exit: 1
int f(int a b)
{
    return a;
}
