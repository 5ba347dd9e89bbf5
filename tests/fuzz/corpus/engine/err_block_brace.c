// exit: 1
int main()
{
    int a;
    a = 1;
