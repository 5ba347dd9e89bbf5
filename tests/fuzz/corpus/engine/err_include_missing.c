// exit: 1
#include "no_such_file.h"
int main() { return 0; }
