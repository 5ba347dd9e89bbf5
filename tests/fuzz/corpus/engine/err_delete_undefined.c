// exit: 1
int a;
delete a;
delete a;
