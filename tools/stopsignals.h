#pragma once

// The boards' links, and SIGINT and SIGTERM asking every one of them to stop
// at its next frame. The handler only sets each link's cancel flag; the
// operations then end as a cancel from the window would, close their ports
// and report "Cancelled by user.". A second signal ends the program at once.

#include <memory>
#include <vector>

#include <csignal>

class QPE;

class StopSignals
{
public:
    // Room for `boards` links; the handlers stay installed until destruction,
    // which comes before the links go, so a late signal finds no freed link.
    explicit StopSignals(int boards);
    ~StopSignals();
    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;

    // Makes the link of one board on the calling thread (its port will live
    // there too) and keeps it until destruction. A stop asked for before it
    // existed applies to it at once.
    QPE &createLink(int board);
    // Hands a board's link, its work done, back to the main thread, where
    // it will be destroyed.
    void release(int board);

private:
    std::vector<std::unique_ptr<QPE>> links;
    struct sigaction previousInt = {};
    struct sigaction previousTerm = {};
};
