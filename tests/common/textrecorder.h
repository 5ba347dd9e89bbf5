#pragma once

#include "linerecorder.h"

#include <QStringList>

// Writes down every line change and sleep of a line sequence as
// "RTS 0", "DTR 1", "sleep 100", ...
class TextRecorder : public LineRecorder
{
public:
    QStringList events;
    void record(Event event, unsigned value) override
    {
        static const char *const names[] = {"RTS", "DTR", "sleep"};
        events << QStringLiteral("%1 %2").arg(QLatin1String(names[event])).arg(value);
    }
};
