// exit: 1
int main()
{
    do { } until (1);
    return 0;
}
