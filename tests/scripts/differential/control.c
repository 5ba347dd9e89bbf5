/* A state machine with switch and recursion, and integer operators. */
int gcd(int a, int b)
{
    if (b == 0)
        return a;
    return gcd(b, a % b);
}

int classify(int c)
{
    switch (c) {
    case ' ':
    case '\t':
        return 0;
    case '0': case '1': case '2': case '3': case '4':
    case '5': case '6': case '7': case '8': case '9':
        return 1;
    default:
        if (c >= 'a' && c <= 'z')
            return 2;
    }
    return 3;
}

int main()
{
    char text[] = "abc 123\tx9 ;!";
    int counts[4];
    int i;
    for (i = 0; i < 4; i++)
        counts[i] = 0;
    for (i = 0; text[i] != 0; i++)
        counts[classify(text[i])]++;
    for (i = 0; i < 4; i++)
        Test(counts[i]);
    Test(gcd(1071, 462));
    Test(-7 / 2);
    Test(-7 % 3);
    Test(-8 >> 1);
    Test(0x5a ^ 0xff);
    Test(~5);
    return gcd(12, 18);
}
