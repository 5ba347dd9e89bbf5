// exit: 1
int down(int n)
{
    return down(n + 1);
}
int main()
{
    return down(0);
}
