// The standard headers in the order a run registers them; each goes on the
// front of the list, so the last registered is the first included.
#include "library.h"

#include "engine.h"

void registerStandardHeaders(EngineState *state)
{
    registerHeader(state, "ctype.h", nullptr, ctypeLibrary, nullptr);
    registerHeader(state, "errno.h", errnoSetup, nullptr, nullptr);
    registerHeader(state, "math.h", mathSetup, mathLibrary, nullptr);
    registerHeader(state, "stdbool.h", stdboolSetup, nullptr, kStdboolSetupSource);
    registerHeader(state, "stdio.h", stdioSetup, stdioLibrary, kStdioSetupSource);
    registerHeader(state, "stdlib.h", stdlibSetup, stdlibLibrary, nullptr);
    registerHeader(state, "string.h", stringSetup, stringLibrary, nullptr);
    registerHeader(state, "time.h", timeSetup, timeLibrary, kTimeSetupSource);
}
