// exit: 1
// A declaration bigger than a script may hold ends the run with a report
// instead of taking (and, for the strings, filling) almost 2 GB.
char names[2][954437176] = {"ab", "cd"};

int main()
{
    return 0;
}
