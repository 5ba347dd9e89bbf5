// Array initialisers: counting, unsized arrays, nested braces, char rows.
int g[] = {1, 2, 3};
int m[2][3] = {1, 2, 3, 4, 5, 6};
int n[2][3] = {{1, 2}, {4}};
char s[] = "hi";
char names[2][8] = {"ab", "cd"};
int part[5] = {7, 8,};

int once()
{
    static int t[3] = {1, 2, 3};
    t[0]++;
    return t[0];
}

int main()
{
    int local[] = {10, 20, 30, 40};
    int i, total = 0;
    Test(sizeof(g));                  // 12
    Test(sizeof(s));                  // 3
    Test(sizeof(local));              // 16
    Test(m[1][2]);                    // 6
    Test(n[0][1] * 10 + n[0][2]);     // 20
    Test(n[1][0]);                    // 4
    Test(names[1][1]);                // 100
    Test(names[0][2]);                // 0
    Test(part[1] * 10 + part[4]);     // 80
    for (i = 0; i < 4; i++) {
        int row[2] = {i, i};
        total += row[0] + row[1] + local[i];
    }
    Test(total);                      // 112
    Test(once());                     // 2
    Test(once());                     // 3
    return 0;
}
