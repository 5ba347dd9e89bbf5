/* CRC-32 (the zip polynomial, reflected), table-driven: for the unsigned
   program here and the crc32 benchmark. */
unsigned int crcTable[256];

void makeTable()
{
    unsigned int c;
    int n, k;
    for (n = 0; n < 256; n++) {
        c = n;
        for (k = 0; k < 8; k++)
            c = (c & 1) ? (0xEDB88320 ^ (c >> 1)) : (c >> 1);
        crcTable[n] = c;
    }
}

unsigned int crc32(unsigned char *bytes, int length)
{
    unsigned int c = 0xFFFFFFFF;
    int i;
    for (i = 0; i < length; i++)
        c = crcTable[(c ^ bytes[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFF;
}
