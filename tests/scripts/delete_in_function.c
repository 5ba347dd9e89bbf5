// delete inside a function: the name is gone at once, but a function
// deleting itself while it runs keeps its storage until the call is over,
// and a macro can be defined and deleted again on every call.
int counter = 0;
void selfDeleting()
{
    delete selfDeleting;
    counter = counter + 10;
}
int redefine()
{
    #define LIMIT 3
    int n = LIMIT;
    delete LIMIT;
    return n;
}
int main()
{
    int i, sum = 0;
    selfDeleting();                  // runs to its end after deleting itself
    Test(counter);                   // 10
    for (i = 0; i < 1000; i++)       // defined and deleted again on every call
        sum = sum + redefine();
    Test(sum);                       // 3000
    return 0;
}
