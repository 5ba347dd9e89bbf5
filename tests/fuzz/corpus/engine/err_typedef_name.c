// exit: 1
typedef int;
