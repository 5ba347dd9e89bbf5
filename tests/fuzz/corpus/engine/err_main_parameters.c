// exit: 1
int main(char *s)
{
    return 0;
}
