// delete inside a function: the name is gone at once, but an expression
// already using the global (the caller's, or the function deleting itself
// while it runs) keeps its storage until that expression is over.
int g = 5;
int counter = 0;
int readAndDelete()
{
    delete g;
    return 1;
}
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
    Test(g + readAndDelete());       // 6: g was read before the call deleted it
    selfDeleting();                  // runs to its end after deleting itself
    Test(counter);                   // 10
    for (i = 0; i < 1000; i++)       // defined and deleted again on every call
        sum = sum + redefine();
    Test(sum);                       // 3000
    return 0;
}
