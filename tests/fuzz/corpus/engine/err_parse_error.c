// exit: 1
int a;
else a = 1;
