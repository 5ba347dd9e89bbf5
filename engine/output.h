// Everything the engine writes for the user goes through these calls: to the
// given C stream, or to the host's hooks once they are installed.
#ifndef LODVANE_ENGINE_OUTPUT_H
#define LODVANE_ENGINE_OUTPUT_H

#include <cstdio>

bool outputHooksInstalled();

void hostPutChar(int character, FILE *stream);
void hostPutString(const char *text, FILE *stream);
void hostPutInt(long value, FILE *stream);
void hostPutDouble(double value, FILE *stream);

#endif
