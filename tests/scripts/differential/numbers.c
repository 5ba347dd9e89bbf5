/* Doubles, conversions and the integer widths of char and short. */
double power(double x, int n)
{
    double r = 1.0;
    while (n > 0) {
        r = r * x;
        n--;
    }
    return r;
}

int main()
{
    double d = 2.5;
    char c;
    short s;
    Test(power(d, 3) * 1000);
    Test(7.0 / 2 * 100);
    Test(d > 2);
    s = 70000;
    Test(s);
    c = -1;
    Test(c);
    Test((int)(d * 4));
    Test(sizeof(char) + sizeof(short) * 10 + sizeof(int) * 100 + sizeof(double) * 1000);
    Test(3 > 2 == 1);
    Test(!0 + !7);
    return 0;
}
