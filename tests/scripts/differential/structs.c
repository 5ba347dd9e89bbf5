/* Arrays of structs, unions, enums and struct assignment. */
enum shape { CIRCLE, SQUARE = 4, TRIANGLE };

struct item {
    char tag;
    int weight;
    short count;
    double price;
};

union word {
    int whole;
    char bytes[4];
};

struct item items[5];

int total(struct item *list, int n)
{
    int i, sum = 0;
    for (i = 0; i < n; i++)
        sum += list[i].weight * list[i].count;
    return sum;
}

int main()
{
    int i;
    struct item best;
    struct item *p;
    union word w;
    for (i = 0; i < 5; i++) {
        items[i].tag = 'A' + i;
        items[i].weight = 3 * i + 1;
        items[i].count = 5 - i;
        items[i].price = i * 2.5;
    }
    Test(total(items, 5));
    best = items[0];
    for (i = 1; i < 5; i++)
        if (items[i].price * items[i].count > best.price * best.count)
            best = items[i];
    Test(best.tag);
    p = &items[3];
    p->count = 100;
    Test(items[3].count);
    Test(sizeof(struct item));
    Test(sizeof(union word));
    w.whole = 0x41424344;
    Test(w.bytes[0]);
    Test(CIRCLE + SQUARE + TRIANGLE);
    return 0;
}
