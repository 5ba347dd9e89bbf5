// A file written and read back: fprintf, fputs, rewind, fscanf, fgets.
int main()
{
    FILE *f = tmpfile();
    char word[10];
    char line[40];
    int n;
    fprintf(f, "%d %s\n", 42, "words");
    fputs("second line\n", f);
    rewind(f);
    printf("%d\n", fscanf(f, "%d %s", &n, word));
    fgetc(f);
    fgets(line, 40, f);
    printf("%d %s|%s", n, word, line);
    printf("%d %d\n", fgetc(f) == EOF, feof(f) != 0);
    fclose(f);
    return 0;
}
