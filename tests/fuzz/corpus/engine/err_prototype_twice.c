// exit: 1
int f();
int f();
