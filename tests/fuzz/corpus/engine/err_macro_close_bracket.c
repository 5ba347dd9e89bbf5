// exit: 1
#define F(a, b
int x;
