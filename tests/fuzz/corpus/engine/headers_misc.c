// math, string, stdlib and ctype cases with behaviour of their own.
#include <stdio.h>
#include <string.h>
#include <stdlib.h>
int main()
{
    double ip;
    char hi[4];
    printf("%g %g %g %g\n", round(0.5), round(1.5), round(-0.6), round(2.5));
    printf("%g %g\n", modf(3.75, &ip), ip);
    strcpy(hi, "a");
    hi[0] = 200;
    printf("%d %d %d\n", strcmp(hi, "a"), strcmp("a", hi), strcmp("same", "same"));
    printf("%d %d\n", abs(-7), labs(-2147483647 - 1));
    printf("%d %d %d\n", isblank('\t'), isblank('\n'), toascii(200));
    printf("%d %d\n", NULL, errno == 0 || errno != 0);
    return 0;
}
