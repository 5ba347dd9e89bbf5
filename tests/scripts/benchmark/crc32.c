/* CRC-32 (the zip polynomial, reflected) over a 64 KiB buffer, table-driven,
   as a board script checks an image. */
unsigned int table[256];
unsigned char buffer[65536];

void makeTable()
{
    unsigned int c;
    int n, k;
    for (n = 0; n < 256; n++) {
        c = n;
        for (k = 0; k < 8; k++)
            c = (c & 1) ? (0xEDB88320 ^ (c >> 1)) : (c >> 1);
        table[n] = c;
    }
}

unsigned int crc32(unsigned char *data, int length)
{
    unsigned int c = 0xFFFFFFFF;
    int i;
    for (i = 0; i < length; i++)
        c = table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFF;
}

int main()
{
    unsigned int seed = 12345;
    int i;
    makeTable();
    for (i = 0; i < 65536; i++) {
        seed = seed * 1103515245 + 12345;
        buffer[i] = (seed >> 16) & 0xFF;
    }
    printf("%08x\n", crc32(buffer, 65536));
    return 0;
}
