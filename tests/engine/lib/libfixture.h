// Brings the standard headers into a state as a script run does.
#ifndef LODVANE_TESTS_LIBFIXTURE_H
#define LODVANE_TESTS_LIBFIXTURE_H

#include "scriptfixture.h"

#include "lib/library.h"

// Every registered header, as a script run sees them.
inline bool includeStandardLibrary(EngineState *st) { return includeAllHeaders(st); }

#endif
