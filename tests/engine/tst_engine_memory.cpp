// The engine state's memory: stack arena, heap blocks, hash tables, shared
// strings and the type tree.
#include "enginefixture.h"

#include "type.h"
#include "variable.h"

#include <QtTest>

class TestEngineMemory : public EngineTest
{
    Q_OBJECT

private slots:
    void internSameTextSameAddress_data();
    void internSameTextSameAddress();
    void internPrefixIsSeparateEntry();
    void tableKeepsFirstEntryAndDeletes();
    void tableChainUnlinksFromTheMiddle();
    void tableOnArenaVanishesWithFrame();
    void arenaAllocationSizes_data();
    void arenaAllocationSizes();
    void arenaRefusesBeyondItsBounds();
    void arenaAllocationIsZeroed();
    void arenaFrames();
    void initWithTooSmallStackFails();
    void cleanupReleasesEveryHeapBlock();
    void matchingTypesAreUnique();
};

void TestEngineMemory::internSameTextSameAddress_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("word") << QByteArray("counter");
    QTest::newRow("empty") << QByteArray("");
    QTest::newRow("bytes above 127") << QByteArray("\xe9t\xe9\xff\x80");
    QTest::newRow("long text") << QByteArray(5000, 'q');
}

void TestEngineMemory::internSameTextSameAddress()
{
    QFETCH(QByteArray, text);
    const char *first = internString(&st, text.constData());
    QByteArray copy = text; // a different buffer with the same bytes
    copy.detach();
    QCOMPARE(addressOf(internString(&st, copy.constData(), size_t(copy.size()))), addressOf(first));
    QCOMPARE(QByteArray(first), text);
    QVERIFY(first != text.constData());
}

void TestEngineMemory::internPrefixIsSeparateEntry()
{
    const char *whole = internString(&st, "abcdef");
    const char *prefix = internString(&st, "abcdef", 3);
    QVERIFY(whole != prefix);
    QCOMPARE(QByteArray(prefix), QByteArray("abc"));
    QCOMPARE(addressOf(internString(&st, "abc")), addressOf(prefix));
    // And the longer text after the shorter one is also its own entry.
    QCOMPARE(addressOf(internString(&st, "abcdefg", 6)), addressOf(whole));
    QVERIFY(internString(&st, "abcdefg") != whole);
    QCOMPARE(addressOf(st.emptyString), addressOf(internString(&st, "")));
    const char text[] = {'a', 'b', '\0', 'c'}; // a length past a zero byte stops at it
    QCOMPARE(addressOf(internString(&st, text, sizeof text)), addressOf(internString(&st, "ab")));
}

void TestEngineMemory::tableKeepsFirstEntryAndDeletes()
{
    const char *key = internString(&st, "x");
    const char *file = internString(&st, "f.c");
    int first = 1, second = 2;
    long before = st.heapBlocks;
    QVERIFY(tableSet(&st, &st.globals, key, &first, file, 3, 7));
    QCOMPARE(st.heapBlocks, before + 1);
    QVERIFY(!tableSet(&st, &st.globals, key, &second, nullptr, 9, 9));
    void *value = nullptr;
    const char *declFile = nullptr;
    unsigned line = 0, column = 0;
    QVERIFY(tableGet(&st.globals, key, &value, &declFile, &line, &column));
    QCOMPARE(value, static_cast<void *>(&first));
    QCOMPARE(addressOf(declFile), addressOf(file));
    QCOMPARE(line, 3u);
    QCOMPARE(column, 7u);
    // Same text interned is the same key; nothing compares the text itself.
    char other[] = "x";
    QVERIFY(!tableGet(&st.globals, other, &value));
    QCOMPARE(tableDelete(&st, &st.globals, key), static_cast<void *>(&first));
    QCOMPARE(st.heapBlocks, before);
    QVERIFY(!tableDelete(&st, &st.globals, key));
    QVERIFY(!tableGet(&st.globals, key, &value));
}

void TestEngineMemory::tableChainUnlinksFromTheMiddle()
{
    HashEntry *buckets[1];
    HashTable table;
    tableInit(&table, buckets, 1, true);
    const char *a = internString(&st, "a"), *b = internString(&st, "b"), *c = internString(&st, "c");
    int va = 1, vb = 2, vc = 3;
    QVERIFY(tableSet(&st, &table, a, &va, nullptr, 0, 0) && tableSet(&st, &table, b, &vb, nullptr, 0, 0) &&
            tableSet(&st, &table, c, &vc, nullptr, 0, 0));
    QCOMPARE(tableDelete(&st, &table, b), static_cast<void *>(&vb));
    void *value = nullptr;
    QVERIFY(tableGet(&table, a, &value) && value == &va);
    QVERIFY(tableGet(&table, c, &value) && value == &vc);
    tableDelete(&st, &table, a);
    tableDelete(&st, &table, c);
    QVERIFY(!buckets[0]);
}

void TestEngineMemory::tableOnArenaVanishesWithFrame()
{
    HashEntry *buckets[kLocalBuckets];
    HashTable locals;
    tableInit(&locals, buckets, kLocalBuckets, false);
    long heapBefore = st.heapBlocks;
    char *top = st.arena.top;
    QVERIFY(arenaPushFrame(&st));
    int v = 1;
    QVERIFY(tableSet(&st, &locals, internString(&st, "local"), &v, nullptr, 0, 0));
    QCOMPARE(st.heapBlocks, heapBefore + 1); // the interned name only
    QVERIFY(st.arena.top > top + 8);
    QVERIFY(arenaPopFrame(&st));
    QCOMPARE(addressOf(st.arena.top), addressOf(top));
}

void TestEngineMemory::arenaAllocationSizes_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("cost");
    QTest::newRow("1 byte") << 1 << 8;
    QTest::newRow("8 bytes") << 8 << 8;
    QTest::newRow("9 bytes") << 9 << 16;
    QTest::newRow("0 bytes") << 0 << 0;
}

void TestEngineMemory::arenaAllocationSizes()
{
    QFETCH(int, size);
    QFETCH(int, cost);
    char *top = st.arena.top;
    void *area = arenaAlloc(&st, size_t(size));
    QCOMPARE(addressOf(area), addressOf(top));
    QCOMPARE(int(st.arena.top - top), cost);
    QCOMPARE(reinterpret_cast<uintptr_t>(st.arena.top) % 8, uintptr_t(0));
    QVERIFY(arenaPop(&st, area, size_t(size)));
    QCOMPARE(addressOf(st.arena.top), addressOf(top));
    arenaUnpop(&st, size_t(size));
    QCOMPARE(int(st.arena.top - top), cost);
    QVERIFY(arenaPop(&st, area, size_t(size)));
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

void TestEngineMemory::arenaAllocationIsZeroed()
{
    unsigned char *a = static_cast<unsigned char *>(arenaAlloc(&st, 40));
    memset(a, 0xAB, 40);
    QVERIFY(arenaPop(&st, a, 40));
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

void TestEngineMemory::cleanupReleasesEveryHeapBlock()
{
    // Fill every table the clean-up walks, then let cleanup() check the count.
    const char *name = internString(&st, "registered.h");
    QVERIFY(registerHeader(&st, "registered.h", nullptr, nullptr, nullptr));
    QCOMPARE(addressOf(st.headers->name), addressOf(name));
    QCOMPARE(tokeniseText(&st, "char *s = \"a literal\"; int x = 'q';"),
             QByteArray("char * s = \"a literal\" ; int x = c113 ;"));
    QVERIFY(getMatchingType(&st, nullptr, st.charPtrType, TYPE_ARRAY, 4, st.emptyString, true));
    QVERIFY(st.heapBlocks > 50);
}

// Duplicate definitions of a type are checked with the declarations.
void TestEngineMemory::matchingTypesAreUnique()
{
    ScriptType *a = getMatchingType(&st, nullptr, &st.intType, TYPE_ARRAY, 3, st.emptyString, true);
    QCOMPARE(getMatchingType(&st, nullptr, &st.intType, TYPE_ARRAY, 3, st.emptyString, true), a);
    QCOMPARE(a->size, 12);
    QCOMPARE(a->alignment, 4);
    QVERIFY(getMatchingType(&st, nullptr, &st.intType, TYPE_ARRAY, 4, st.emptyString, true) != a);
    QCOMPARE(getMatchingType(&st, nullptr, a, TYPE_POINTER, 0, st.emptyString, true)->size, 8);
    QCOMPARE(getMatchingType(&st, nullptr, &st.charType, TYPE_POINTER, 0, st.emptyString, true), st.charPtrType);
}

QTEST_GUILESS_MAIN(TestEngineMemory)
#include "tst_engine_memory.moc"
