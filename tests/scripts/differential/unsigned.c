/* Unsigned arithmetic as C does it: shifts, division, remainder and
   comparisons with unsigned int and unsigned long operands, unsigned
   constants, and a table-driven CRC-32 (the zip polynomial, reflected). */
#include "crc32.h"

unsigned char data[4096];

int main()
{
    unsigned int u = 0xEDB88320, all = 0xFFFFFFFF, one = 1, seed = 1;
    unsigned long big = 4000000000u;
    unsigned char small = 200;
    int i = -16;
    printf("%08x %08x %08x %08x\n", u >> 1, all >> 8, 0xEDB88320 >> 1, 0xFFFFFFFF >> 8);
    printf("%d %d %d\n", i >> 2, -16 >> 2u, i >> one);
    printf("%u %u %u\n", all / 3, all % 7, (all ^ 0x80000000) >> 4);
    printf("%d %d %d %d %d %d\n", all > 1, all < 1, all >= 0x80000000, all <= 5, all > -1, all == -1);
    printf("%d %d %d\n", one - 2 > 0, u - 1 > 5, small > -1);
    printf("%u %d %u\n", (unsigned int)(big >> 1), big > 3000000000u, (unsigned int)(big / 3));
    u >>= 4;
    all /= 2;
    one %= 3;
    printf("%08x %08x %u\n", u, all, one);
    makeTable();
    for (i = 0; i < 4096; i++) {
        seed = seed * 1103515245 + 12345;
        data[i] = seed >> 24;
    }
    printf("%08x\n", crc32(data, 4096));
    return 0;
}
