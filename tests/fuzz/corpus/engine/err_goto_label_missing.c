// exit: 1
int f()
{
back:
    goto back;
    return 1;
}
int main()
{
    return f();
}
