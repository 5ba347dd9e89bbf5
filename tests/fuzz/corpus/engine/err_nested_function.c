// exit: 1
int main()
{
    int inner() { return 1; }
    return 0;
}
