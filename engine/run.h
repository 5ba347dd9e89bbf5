// Running texts: the retained token streams, script files, the platform
// header and the predefined globals.
#ifndef LODVANE_ENGINE_RUN_H
#define LODVANE_ENGINE_RUN_H

#include "types.h"

#include <cstddef>
#include <cstdint>

struct RetainedTokens;

// Hangs a stream on the state while it is in use, so that a run ending in
// the middle still releases it at clean-up; `source` (or null) is freed with
// it then.
RetainedTokens *retainTokens(EngineState *state, char *source);
// Frees a stream that is no longer needed before clean-up.
void releaseTokens(EngineState *state, RetainedTokens *node);

// What becomes of a text's tokens, and of the text, once it has run.
enum TextKeeping : uint8_t {
    TEXT_DISCARD,                // nothing it defines outlives it: its tokens go at once
    TEXT_KEEP_TOKENS,            // kept until clean-up; the caller keeps the text as long
    TEXT_KEEP_TOKENS_AND_SOURCE  // kept until clean-up, and the text, a heap block, freed then
};

// Tokenises a text and runs its statements.
void runText(EngineState *state, const char *fileName, const char *source, size_t length, TextKeeping keeping);

// Reads a script file and runs its top level; every include of it runs it again.
void runFile(EngineState *state, const char *fileName);

// "host_platform.h" and the globals every script sees.
void platformInit(EngineState *state);
void predefinedGlobalsInit(EngineState *state);

#endif
