// No standard headers: the standard library replaces this file with its own
// registerStandardHeaders, which registers stdio.h, math.h and the others in
// their start-up order.
#include "engine.h"

void registerStandardHeaders(EngineState *)
{
}
