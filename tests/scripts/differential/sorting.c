/* Insertion sort and a bubble sort of the same data, through pointers. */
int data[12] = {42, -7, 19, 0, 88, -123, 5, 5, 61, 3, -1, 17};
int copy[12];

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

void bubble(int a[], int n)
{
    int i, swapped = 1, t;
    while (swapped) {
        swapped = 0;
        for (i = 0; i + 1 < n; i++) {
            if (a[i] < a[i + 1]) {
                t = a[i];
                a[i] = a[i + 1];
                a[i + 1] = t;
                swapped = 1;
            }
        }
    }
}

int main()
{
    int i;
    int *p;
    for (i = 0; i < 12; i++)
        copy[i] = data[i];
    insertion(data, 12);
    bubble(copy, 12);
    for (i = 0; i < 12; i++)
        Test(data[i] * 1000 + copy[i]);
    p = data;
    p += 11;
    Test(*p);
    p--;
    Test(*p);
    return 0;
}
