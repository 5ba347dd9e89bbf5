// exit: 1
int a = 3;
Test(a);
