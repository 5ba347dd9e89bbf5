// Running texts: the retained token streams, script files, the platform
// header and the predefined globals.
#ifndef LODVANE_ENGINE_RUN_H
#define LODVANE_ENGINE_RUN_H

#include "types.h"

struct RetainedTokens;

// Hangs a stream on the state while it is in use, so that a run ending in
// the middle still releases it at clean-up; `source` (or null) is freed with
// it then.
RetainedTokens *retainTokens(EngineState *state, char *source);
// Frees a stream that is no longer needed before clean-up.
void releaseTokens(EngineState *state, RetainedTokens *node);

// Reads a script file and runs its top level; every include of it runs it again.
void runFile(EngineState *state, const char *fileName);

// "host_platform.h" and the globals every script sees.
void platformInit(EngineState *state);
void predefinedGlobalsInit(EngineState *state);

#endif
