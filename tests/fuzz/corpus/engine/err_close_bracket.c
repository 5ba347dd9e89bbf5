// exit: 1
int main()
{
    if (1 { }
    return 0;
}
