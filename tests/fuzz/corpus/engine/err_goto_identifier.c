// exit: 1
int main()
{
    goto 5;
    return 0;
}
