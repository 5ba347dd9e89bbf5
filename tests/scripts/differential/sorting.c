/* Insertion sort through pointers. */
int data[12] = {42, -7, 19, 0, 88, -123, 5, 5, 61, 3, -1, 17};

void insertion(int *a, int n)
{
    int i, j, v;
    for (i = 1; i < n; i++) {
        v = a[i];
        j = i - 1;
        while (j >= 0) {
            if (a[j] <= v)
                break;
            a[j + 1] = a[j];
            j--;
        }
        a[j + 1] = v;
    }
}

int main()
{
    int i;
    int *p;
    insertion(data, 12);
    for (i = 0; i < 12; i++)
        Test(data[i]);
    p = data;
    p += 11;
    Test(*p);
    p--;
    Test(*p);
    return 0;
}
