/* Standard headers as C and the script engine both see them. */
#include <stdio.h>
#include <string.h>
#include <stdlib.h>
#include <math.h>
#include <ctype.h>

int main()
{
    char buffer[64];
    char *copy;
    int i;
    int count = 0;
    int n = sprintf(buffer, "%5d|%-6s|%08.3f|%x", 123, "ab", 3.14159, 255);
    printf("%d %s\n", n, buffer);
    copy = malloc(strlen(buffer) + 1);
    strcpy(copy, buffer);
    strcat(buffer, "!");
    printf("%s %d %d\n", copy, (int)strlen(buffer), strcmp(copy, buffer) < 0);
    for (i = 0; copy[i]; i++)
        if (isdigit(copy[i]))
            count++;
    printf("%d digits, %c %c\n", count, toupper('q'), tolower('Q'));
    free(copy);
    printf("%.4f %.4f %.1f %d\n", sqrt(2.0), pow(2.0, 0.5), floor(-2.5), atoi("77"));
    printf("%d %d\n", (int)strtol("0x1f", NULL, 16), abs(-12));
    n = snprintf(buffer, 6, "%s", "truncated");
    printf("%d %s\n", n < 6 ? n : 5, buffer);
    return 0;
}
