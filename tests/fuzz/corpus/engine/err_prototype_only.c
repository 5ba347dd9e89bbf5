// exit: 1
int f();
int main()
{
    return f();
}
