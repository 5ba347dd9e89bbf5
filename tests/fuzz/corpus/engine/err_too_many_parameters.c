// exit: 1
int f(int a, int b, int c, int d, int e, int f, int g, int h,
      int i, int j, int k, int l, int m, int n, int o, int p, int q)
{
    return 0;
}
