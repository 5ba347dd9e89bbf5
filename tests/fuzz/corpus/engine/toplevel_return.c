// exit: 3
// A top-level return ends the run with its value; main is never called.
int n = 1;
Test(n);
return 3;
Test(2);
int main() { Test(99); return 0; }
