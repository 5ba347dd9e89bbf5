/* String building in a char array. */
char text[4096];

int main()
{
    int round, i, n, sum = 0;
    for (round = 0; round < 200; round++) {
        n = 0;
        for (i = 0; i < 200; i++) {
            text[n] = 'a' + (i + round) % 26;
            n++;
        }
        text[n] = 0;
        for (i = 0; text[i] != 0; i++)
            sum = (sum * 7 + text[i]) % 100003;
    }
    Test(sum);
    return 0;
}
