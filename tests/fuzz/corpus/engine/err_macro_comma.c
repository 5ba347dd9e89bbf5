// exit: 1
#define F(a b) a
int x;
