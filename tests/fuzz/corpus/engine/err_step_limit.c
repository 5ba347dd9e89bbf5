// exit: 1
// runner: --max-steps 1000
int main()
{
    int n = 0;
    while (1)
        n++;
    return 0;
}
