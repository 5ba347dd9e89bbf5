// exit: 1
int f()
{
    return;
}
int main()
{
    return f();
}
