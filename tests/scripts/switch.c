// switch: fall-through, break, default where it stands, continue ending at
// the switch, and switches reached while nothing runs.
int main()
{
    int a = 0, i, n;
    switch (2) { case 1: a = 1; case 2: a = 2; case 3: a = 3; }
    Test(a);                          // 3
    switch (7) { default: a = 9; case 5: a = 5; }
    Test(a);                          // 5 (default, then fall-through)
    a = 0;
    switch (4) { case 1: a = 1; case 2: a = 2; }
    Test(a);                          // 0
    n = 0;
    for (i = 0; i < 3; i++) {
        switch (i) { case 1: continue; }
        n += 100;                     // runs on every pass: continue ended at the switch
    }
    Test(n);                          // 300
    n = 0;
    for (i = 0; i < 2; i++) {
        switch (i) {
        case 0:
            switch (i + 1) { case 1: n += 1; break; case 2: n += 2; }
            n += 10;
            break;
        default:
            n += 1000;
        }
    }
    Test(n);                          // 1011
    // After a break the rest of the loop body is not run: a switch there
    // must not run its "case 0" or "default".
    a = 0;
    for (i = 0; i < 1; i++) {
        break;
        switch (0) { case 0: a = 1; default: a = 2; }
    }
    Test(a);                          // 0
    goto past;
    switch (0) { case 0: a = 5; default: a = 6; }
past:
    Test(a);                          // 0
    return 0;
}
