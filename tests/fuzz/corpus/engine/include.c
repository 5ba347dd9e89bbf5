// A registered header is included once; a script file on every include.
#include "host_platform.h"
#include "host_platform.h"
int runs = 0;
#include "include_part.h"
#include "include_part.h"
int main()
{
    Test(runs);                       // 2
    return 0;
}
