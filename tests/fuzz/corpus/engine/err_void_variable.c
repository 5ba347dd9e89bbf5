// exit: 1
void v;
