// "time.h": time_t is a script int. The struct tm a script holds is the
// host's own buffer from gmtime or localtime (read-only to the script) or a
// script's opaque 36 bytes; the host only ever sees a copy.
#include "library.h"

#include "declaration.h"
#include "error.h"
#include "intern.h"
#include "state.h"

#include <cstring>
#include <ctime>

const char *const kTimeSetupSource = "typedef int time_t; typedef int clock_t;";

namespace {

constexpr int kScriptTmBytes = 36; // the nine ints a script's struct tm has
constexpr int32_t kScriptClocksPerSecond = 1000;

time_t timeArg(ParseCursor *c, ScriptValue **a, int index)
{
    const void *at = argPointer(a, index);
    checkRead(c, at, sizeof(int32_t));
    int32_t seconds;
    memcpy(&seconds, at, sizeof seconds);
    return time_t(seconds);
}

struct tm tmArg(ParseCursor *c, ScriptValue **a, int index)
{
    const void *at = argPointer(a, index);
    struct tm copy;
    memset(&copy, 0, sizeof copy);
    if (at && at == hostTm(c->engine)) {
        checkRead(c, at, sizeof copy);
        memcpy(&copy, at, sizeof copy);
        return copy;
    }
    checkRead(c, at, kScriptTmBytes);
    int32_t fields[9];
    memcpy(fields, at, sizeof fields);
    copy.tm_sec = fields[0];
    copy.tm_min = fields[1];
    copy.tm_hour = fields[2];
    copy.tm_mday = fields[3];
    copy.tm_mon = fields[4];
    copy.tm_year = fields[5];
    copy.tm_wday = fields[6];
    copy.tm_yday = fields[7];
    copy.tm_isdst = fields[8];
    return copy;
}

void timeAsctime(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    struct tm broken = tmArg(c, a, 0);
    resultPointer(r, exposeHostText(c->engine, asctime(&broken)));
}

void timeClock(ParseCursor *, ScriptValue *r, ScriptValue **, int32_t)
{
    clock_t ticks = clock();
    resultInt(r, int32_t(ticks / (CLOCKS_PER_SEC / kScriptClocksPerSecond)));
}

void timeCtime(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    time_t seconds = timeArg(c, a, 0);
    resultPointer(r, exposeHostText(c->engine, ctime(&seconds)));
}

void timeDifftime(ParseCursor *, ScriptValue *r, ScriptValue **a, int32_t)
{
    resultDouble(r, double(argInt(a, 0)) - double(argInt(a, 1)));
}

void exposeTm(ParseCursor *c, ScriptValue *r, struct tm *broken)
{
    exposeHostBlock(c->engine, broken, sizeof *broken);
    rememberHostTm(c->engine, broken);
    resultPointer(r, broken);
}

void timeGmtime(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    time_t seconds = timeArg(c, a, 0);
    exposeTm(c, r, gmtime(&seconds));
}

void timeLocaltime(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    time_t seconds = timeArg(c, a, 0);
    exposeTm(c, r, localtime(&seconds));
}

void timeMktime(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    struct tm broken = tmArg(c, a, 0);
    resultInt(r, int32_t(mktime(&broken)));
}

void timeTime(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    int32_t now = int32_t(time(nullptr));
    void *at = argPointer(a, 0);
    if (at) {
        checkWrite(c, at, sizeof now);
        memcpy(at, &now, sizeof now);
    }
    resultInt(r, now);
}

void timeStrftime(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    char *to = static_cast<char *>(argPointer(a, 0));
    int32_t size = argInt(a, 1);
    const char *format = static_cast<const char *>(argPointer(a, 2));
    checkString(c, format);
    struct tm broken = tmArg(c, a, 3);
    if (size <= 0) {
        resultInt(r, 0);
        return;
    }
    checkWrite(c, to, size_t(size));
    resultInt(r, int32_t(strftime(to, size_t(size), format, &broken)));
}

int32_t clocksPerSecond = kScriptClocksPerSecond;
int32_t clockTick = kScriptClocksPerSecond;

} // namespace

const LibraryEntry timeLibrary[] = {
    {timeAsctime, "char *asctime(struct tm *);"},
    {timeClock, "time_t clock();"},
    {timeCtime, "char *ctime(int *);"},
    {timeDifftime, "double difftime(int, int);"},
    {timeGmtime, "struct tm *gmtime(int *);"},
    {timeLocaltime, "struct tm *localtime(int *);"},
    {timeMktime, "int mktime(struct tm *ptm);"},
    {timeTime, "int time(int *);"},
    {timeStrftime, "int strftime(char *, int, char *, struct tm *);"},
    {nullptr, nullptr}};

void timeSetup(EngineState *state)
{
    createOpaqueStruct(state, nullptr, internString(state, "tm"), kScriptTmBytes);
    defineIntConstant(state, "CLOCKS_PER_SEC", &clocksPerSecond);
    defineIntConstant(state, "CLK_TCK", &clockTick);
}
