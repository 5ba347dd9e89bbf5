// exit: 1
int main()
{
    if (1)
}
