// exit: 1
double main()
{
    return 0;
}
