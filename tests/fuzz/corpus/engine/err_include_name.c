// exit: 1
#include stdio
int main() { return 0; }
