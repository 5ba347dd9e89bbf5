// exit: 4
// args: one two
// main gets argc and argv; its return value is the exit status.
int main(int argc, char *argv[])
{
    Test(argc);                       // 3
    Test(argv[1][0]);                 // 'o'
    Test(argv[2][2]);                 // 'o'
    Test(__argc);                     // 3
    Test(__argv[1][1]);               // 'n'
    return argc + 1;
}
