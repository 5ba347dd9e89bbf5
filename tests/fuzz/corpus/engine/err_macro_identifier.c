// exit: 1
#define 5
