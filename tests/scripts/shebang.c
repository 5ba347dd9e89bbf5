#!/usr/bin/env lodvane-script
// exit: 2
// The "#!" line reads as a blank line; the globals every script sees.
int main()
{
    Test(LineNo());                   // 6
    Test(ENGINE_VERSION[0]);          // 'v'
    Test(ENGINE_VERSION[1]);          // '2'
    Test(BIG_ENDIAN);                 // 0
    Test(LITTLE_ENDIAN);              // 1
    return 2;
}
