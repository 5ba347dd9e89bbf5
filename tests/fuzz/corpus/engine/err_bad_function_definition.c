// exit: 1
int f(int a) return a;
