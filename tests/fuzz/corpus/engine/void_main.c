// A void main ends with status 0; Test changes only its own copy.
void main()
{
    int v = 5;
    Test(v);
    Test(v);
}
