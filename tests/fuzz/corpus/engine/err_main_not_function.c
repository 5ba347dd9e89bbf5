// exit: 1
int main = 3;
