#include "stopsignals.h"

#include "qpe.h"

#include <QCoreApplication>
#include <QThread>

#include <atomic>

namespace {

// What the handler may touch: lock-free atomics only. The array of links is set
// before the handlers go in and outlives them.
std::atomic<bool> stopAsked{false};
std::atomic<QPE *> *watched = nullptr;
int watchedCount = 0;

void onStopSignal(int)
{
    stopAsked = true;
    for (int i = 0; i < watchedCount; ++i) {
        if (QPE *link = watched[i].load())
            link->requestCancel();
    }
}

} // namespace

StopSignals::StopSignals(int boards) : links(std::size_t(boards))
{
    static_assert(std::atomic<QPE *>::is_always_lock_free, "the signal handler reads the links lock-free");
    stopAsked = false;
    watched = new std::atomic<QPE *>[std::size_t(boards)]();
    watchedCount = boards;

    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND; // the second signal is not caught
    sigaction(SIGINT, &action, &previousInt);
    sigaction(SIGTERM, &action, &previousTerm);
}

StopSignals::~StopSignals()
{
    sigaction(SIGINT, &previousInt, nullptr);
    sigaction(SIGTERM, &previousTerm, nullptr);
    watchedCount = 0;
    delete[] watched;
    watched = nullptr;
    links.clear();
}

QPE &StopSignals::createLink(int board)
{
    links[std::size_t(board)] = std::make_unique<QPE>();
    QPE *link = links[std::size_t(board)].get();
    watched[board] = link;
    // Published first, looked at second: a signal in between is seen here or
    // by the handler, if not both.
    if (stopAsked)
        link->requestCancel();
    return *link;
}

void StopSignals::release(int board)
{
    QPE *link = links[std::size_t(board)].get();
    if (link && link->thread() == QThread::currentThread())
        link->moveToThread(QCoreApplication::instance()->thread());
}
