// exit: 1
#define F(a) (a + 1)
int main()
{
    return F;
}
