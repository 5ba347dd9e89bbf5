/* 10,000 text records written with sprintf and read back with strtol, as a
   board script writes and parses a log. */
char line[80];

int main()
{
    int i, number, address, value, sum = 0, length = 0;
    char *end;
    for (i = 0; i < 10000; i++) {
        sprintf(line, "%05d %08x %s %6d", i, i * 4 + 0x8000, (i & 1) ? "ODD" : "EVEN", i * 37 % 1000 - 500);
        number = strtol(line, &end, 10);
        address = strtol(end, &end, 16);
        while (*end == ' ')
            end++;
        while (*end != ' ')
            end++;
        value = strtol(end, &end, 10);
        sum = (sum + number + address % 1000 + value + 500) % 1000003;
        length += strlen(line);
    }
    printf("%d %d\n", sum, length);
    return 0;
}
