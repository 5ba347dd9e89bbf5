#include "cliconsole.h"

#include <QCoreApplication>

#include <cstdio>
#include <numeric>
#include <unistd.h>

namespace {

constexpr int kBarWidth = 40;
constexpr unsigned kFullPercent = 100;

} // namespace

Console::Console(const QStringList &boardPrefixes)
    : barOnTerminal(::isatty(STDERR_FILENO) == 1), percents(std::size_t(boardPrefixes.size()), 0)
{
    for (const QString &prefix : boardPrefixes)
        prefixes.push_back(prefix.isEmpty() ? QByteArray() : "[" + prefix.toLocal8Bit() + "] ");
}

void Console::log(int board, const QString &text)
{
    // A text holding a line break is two LOG lines; all of them go out in one
    // write, so another board's lines never land inside them.
    QByteArray lines;
    for (const QString &line : text.split(QLatin1Char('\n')))
        lines += prefixes[std::size_t(board)] + line.toLocal8Bit() + '\n';
    {
        const std::lock_guard<std::mutex> lock(mutex);
        clearBar();
        std::fwrite(lines.constData(), 1, std::size_t(lines.size()), stdout);
        std::fflush(stdout);
        drawBar();
    }
    QCoreApplication::processEvents();
}

void Console::progress(int board, unsigned perc)
{
    if (barOnTerminal) {
        const std::lock_guard<std::mutex> lock(mutex);
        percents[std::size_t(board)] = qMin(perc, kFullPercent);
        shown = true;
        drawBar();
    }
    QCoreApplication::processEvents();
}

void Console::note(const QString &text)
{
    const std::lock_guard<std::mutex> lock(mutex);
    clearBar();
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    drawBar();
}

void Console::finish()
{
    const std::lock_guard<std::mutex> lock(mutex);
    if (shown && !finished)
        std::fputc('\n', stderr);
    finished = true;
}

// With several boards the bar shows how far they are on average.
void Console::drawBar()
{
    if (!shown || finished)
        return;
    const unsigned percent = std::accumulate(percents.begin(), percents.end(), 0u) / unsigned(percents.size());
    const int filled = int(percent) * kBarWidth / int(kFullPercent);
    std::fprintf(stderr, "\r[%s%s] %3u%%", QByteArray(filled, '#').constData(),
                 QByteArray(kBarWidth - filled, ' ').constData(), percent);
    std::fflush(stderr);
}

void Console::clearBar()
{
    if (shown && !finished)
        std::fprintf(stderr, "\r%*s\r", kBarWidth + 7, "");
}
