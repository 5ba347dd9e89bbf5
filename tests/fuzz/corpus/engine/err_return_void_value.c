// exit: 1
void f()
{
    return 1;
}
int main()
{
    f();
    return 0;
}
