// The globals every script sees, and the platform header.
int main()
{
    Test(ENGINE_VERSION[0]);          // 'v'
    Test(ENGINE_VERSION[1]);          // '2'
    Test(BIG_ENDIAN);                 // 0
    Test(LITTLE_ENDIAN);              // 1
    Test(LineNo());                   // 8
    return 0;
}
