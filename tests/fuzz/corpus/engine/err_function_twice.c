// exit: 1
int f();
int f() { return 1; }
int f() { return 2; }
