/* Primes below 200 by the sieve, then their count and sum. */
#define LIMIT 200

char composite[LIMIT];

int main()
{
    int i, j, count = 0, sum = 0;
    for (i = 2; i < LIMIT; i++) {
        if (composite[i])
            continue;
        count++;
        sum += i;
        for (j = i * i; j < LIMIT; j += i)
            composite[j] = 1;
    }
    Test(count);
    Test(sum);
    for (i = 190; i < LIMIT; i++)
        if (composite[i] == 0)
            Test(i);
    return count % 7;
}
