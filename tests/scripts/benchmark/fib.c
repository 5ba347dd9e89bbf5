/* Recursive calls. */
int fib(int n)
{
    if (n < 2)
        return n;
    return fib(n - 1) + fib(n - 2);
}

int main()
{
    Test(fib(27));
    return 0;
}
