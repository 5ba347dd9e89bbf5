/* Building and reading strings in char arrays. */
char buffer[64];

int length(char *s)
{
    int n = 0;
    while (s[n] != 0)
        n++;
    return n;
}

void append(char *to, char *from)
{
    int at = length(to);
    int i = 0;
    while (from[i] != 0) {
        to[at + i] = from[i];
        i++;
    }
    to[at + i] = 0;
}

int checksum(char *s)
{
    int sum = 0, i;
    for (i = 0; s[i] != 0; i++)
        sum = (sum * 31 + s[i]) % 1000003;
    return sum;
}

int main()
{
    char word[] = "lodvane";
    buffer[0] = 0;
    append(buffer, "value=-4711");
    append(buffer, ";");
    append(buffer, word);
    Test(length(buffer));
    Test(checksum(buffer));
    Test(sizeof(word));
    Test(word[6]);
    return 0;
}
