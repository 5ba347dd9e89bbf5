// exit: 1
int main()
{
    Test("text");
    return 0;
}
