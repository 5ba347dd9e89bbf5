/* CRC-32 (the zip polynomial, reflected) over a 64 KiB buffer, table-driven,
   as a board script checks an image. */
#include "../differential/crc32.h"

unsigned char buffer[65536];

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
