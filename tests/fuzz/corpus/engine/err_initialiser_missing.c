// exit: 1
int a = ;
