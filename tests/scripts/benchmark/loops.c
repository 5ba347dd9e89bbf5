/* Nested loops over arrays. */
int a[500];
int b[500];

int main()
{
    int i, j, sum = 0;
    for (i = 0; i < 500; i++) {
        a[i] = i;
        b[i] = 500 - i;
    }
    for (i = 0; i < 500; i++)
        for (j = 0; j < 500; j++)
            sum = (sum + a[i] * b[j]) % 100003;
    Test(sum);
    return 0;
}
