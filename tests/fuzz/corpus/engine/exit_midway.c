// exit: 1
// An error deep in calls ends the run; everything is released.
int depth(int n)
{
    int local[4] = {1, 2, 3, 4};
    if (n == 0)
        return local[4 + n * 100];
    return depth(n - 1) + local[0];
}
int main()
{
    Test(1);
    return depth(5);
}
