#pragma once

// The report of `lodvane-cli inspect`: one line per block of a boot stream
// and a summary, or the reason the stream is not well formed.

#include <QByteArray>
#include <QStringList>

struct StreamReport
{
    bool ok = false;
    QStringList lines;  // block lines, then the summary or the reason
};

StreamReport inspectStream(const QByteArray &stream);
