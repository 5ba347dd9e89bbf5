// exit: 1
int main()
{
    int i;
    sscanf("1", "%d", &i, &i, &i, &i, &i, &i, &i, &i, &i, &i, &i);
    return 0;
}
