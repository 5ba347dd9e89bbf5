#pragma once

// Observer of everything a line sequence does to the modem-control outputs
// and of every sleep between the steps. A pseudo-terminal has no RTS or DTR,
// so tests watch the sequences through this instead; the link behaves the
// same with or without one attached.
class LineRecorder
{
public:
    enum Event { SetRts, SetDtr, Sleep };

    virtual ~LineRecorder() = default;
    // `value` is the line level (0 or 1) for SetRts/SetDtr, milliseconds for Sleep.
    virtual void record(Event event, unsigned value) = 0;
};
