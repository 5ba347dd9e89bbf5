// exit: 1
int a;
void f()
{
    delete a;
}
int main()
{
    f();
    return 0;
}
