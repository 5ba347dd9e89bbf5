/* What a script finds in host_platform.h, for the C build of the same program. */
#include <stdio.h>

static void Test(int value)
{
    printf("test(%d)\n", value);
}
