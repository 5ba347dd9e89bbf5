// exit: 1
int v[2] = {1, 2, 3};
