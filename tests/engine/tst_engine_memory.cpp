// The engine state's memory: stack arena, heap budget and shared strings.
#include "enginefixture.h"

class TestEngineMemory : public EngineTest
{
    Q_OBJECT

private slots:
    void internStopsAtAZeroByte();
    void arenaRefusesBeyondItsBounds();
    void heapRefusesBeyondItsBudget();
    void arenaAllocationIsZeroed();
    void arenaFrames();
    void initWithTooSmallStackFails();
};

// A length reaching past a zero byte stops at it (the lexer's names never
// hold one, so nothing else gets here).
void TestEngineMemory::internStopsAtAZeroByte()
{
    const char text[] = {'a', 'b', '\0', 'c'};
    QCOMPARE(addressOf(internString(&st, text, sizeof text)), addressOf(internString(&st, "ab")));
    QCOMPARE(addressOf(st.emptyString), addressOf(internString(&st, "")));
}

void TestEngineMemory::arenaRefusesBeyondItsBounds()
{
    size_t used = size_t(st.arena.top - st.arena.start); // the base frame word
    size_t room = size_t(st.arena.limit - st.arena.top);
    QVERIFY(room % 8 == 0 && room > 64);
    void *all = arenaAlloc(&st, room - 3); // aligns up to exactly the limit
    QVERIFY(all);
    QCOMPARE(addressOf(st.arena.top), addressOf(st.arena.limit));
    QVERIFY(!arenaAlloc(&st, 1));
    QVERIFY(!arenaAlloc(&st, 0x7fffffffffffffffull));
    QCOMPARE(addressOf(st.arena.top), addressOf(st.arena.limit));
    QVERIFY(!arenaPop(&st, all, used + room + 1));
    QVERIFY(!arenaPop(&st, all, size_t(-1)));
    QCOMPARE(addressOf(st.arena.top), addressOf(st.arena.limit));
    QVERIFY(arenaPop(&st, all, room));
    QVERIFY(!arenaAlloc(&st, room + 1));
    QVERIFY(arenaAlloc(&st, room));
    QVERIFY(arenaPop(&st, all, room));
}

// The heap budget's last bytes can still be taken, not one more.
void TestEngineMemory::heapRefusesBeyondItsBudget()
{
    size_t held = st.heapBytes;
    st.heapBytes = kHeapBudgetBytes - 32;
    QVERIFY(!heapAlloc(&st, 33));
    void *last = heapAlloc(&st, 32);
    QVERIFY(last);
    heapFree(&st, last);
    st.heapBytes = held;
}

void TestEngineMemory::arenaAllocationIsZeroed()
{
    unsigned char *a = static_cast<unsigned char *>(arenaAlloc(&st, 37)); // takes 40
    memset(a, 0xAB, 40);
    QVERIFY(arenaPop(&st, a, 37));
    arenaUnpop(&st, 37);
    QCOMPARE(addressOf(st.arena.top), addressOf(a + 40));
    QVERIFY(arenaPop(&st, a, 37));
    unsigned char *b = static_cast<unsigned char *>(arenaAlloc(&st, 40));
    QCOMPARE(addressOf(b), addressOf(a));
    QCOMPARE(QByteArray(reinterpret_cast<char *>(b), 40), QByteArray(40, '\0'));
    QVERIFY(arenaPop(&st, b, 40));
}

void TestEngineMemory::arenaFrames()
{
    QVERIFY(!arenaPopFrame(&st)); // only the base frame
    char *top = st.arena.top;
    QVERIFY(arenaPushFrame(&st));
    arenaAlloc(&st, 24);
    QVERIFY(arenaPushFrame(&st));
    arenaAlloc(&st, 100);
    char *inner = st.arena.frame;
    QVERIFY(arenaPopFrame(&st));
    QCOMPARE(addressOf(st.arena.top), addressOf(inner));
    QVERIFY(arenaPopFrame(&st));
    QCOMPARE(addressOf(st.arena.top), addressOf(top));
    QVERIFY(!arenaPopFrame(&st));
    // A frame cannot be pushed once the arena is full.
    QVERIFY(arenaAlloc(&st, size_t(st.arena.limit - st.arena.top)));
    QVERIFY(arenaPushFrame(&st)); // the word at the limit still lies inside the block
    QVERIFY(!arenaPushFrame(&st));
    QVERIFY(!arenaAlloc(&st, 8));
}

void TestEngineMemory::initWithTooSmallStackFails()
{
    EngineState small;
    QVERIFY(!engineInit(&small, 4, nullptr));
    QCOMPARE(capturedOutput(), QByteArray("out of memory\n"));
    QCOMPARE(small.exitValue, 1);
    engineCleanup(&small);
    QCOMPARE(small.heapBlocks, 0L);
}

QTEST_GUILESS_MAIN(TestEngineMemory)
#include "tst_engine_memory.moc"
