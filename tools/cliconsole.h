#pragma once

// Where lodvane-cli's LOG lines and progress go: stdout for the LOG, a bar on
// stderr when that is a terminal. Boards running at once on their own
// threads share one console; each line is written whole, with its board's
// port in front when there are several boards.

#include <QString>
#include <QStringList>

#include <mutex>
#include <vector>

class Console
{
public:
    // One board per prefix; an empty prefix writes lines as they are.
    explicit Console(const QStringList &prefixes);
    ~Console() { finish(); }

    // Like the window's slots, each line and each progress step lets the
    // calling thread's pending events run, so the port's buffered writes
    // leave at the same points of a sequence.
    void log(int board, const QString &text);
    void progress(int board, unsigned perc);
    // A line on stderr that does not disturb the bar.
    void note(const QString &text);
    // Ends the bar for good; what follows is the run's summary.
    void finish();

private:
    void drawBar();
    void clearBar();

    const bool barOnTerminal;
    std::mutex mutex;              // one writer at a time: lines never mix
    std::vector<QByteArray> prefixes;
    std::vector<unsigned> percents;
    bool shown = false;
    bool finished = false;
};
