// exit: 1
int a[3] = {1; 2};
