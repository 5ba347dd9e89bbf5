// exit: 1
int a = 1;
void f()
{
    delete a;
}
int main()
{
    f();
    Test(a);
    return 0;
}
