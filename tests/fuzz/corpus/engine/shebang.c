#!/usr/bin/env lodvane-script
// exit: 2
// The "#!" line reads as a blank line: this is line 3.
int main()
{
    Test(LineNo());                   // 6
    return 2;
}
