// The XMODEM receiver fed the fuzzer's bytes as everything the other end
// sends. The clock is fake: a wait with nothing left to read is a time-out
// at once, so no input can make a run sleep.
#include "xmodem.h"

#include <cstdlib>
#include <vector>

namespace {

class FuzzChannel : public XmodemChannel
{
public:
    FuzzChannel(const std::uint8_t *d, std::size_t n) : data(d), size(n) {}

    int receiveByte(int) override { return at < size ? data[at++] : -1; }
    void sendByte(unsigned char) override {}
    void flushInput() override {}
    void log(const QString &) override {}
    void beginProgress(int, bool) override {}
    void setProgress(int) override {}
    bool abortRequested() override { return false; }
    void endProgress() override {}

private:
    const std::uint8_t *data;
    std::size_t size;
    std::size_t at = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    // The first two bytes choose the capacity (0 .. 64 KiB), the rest is the line.
    const int capacity = int(data[0]) << 8 | data[1];
    std::vector<unsigned char> area(static_cast<std::size_t>(capacity) + 1, 0xA5);
    FuzzChannel channel(data + 2, size - 2);
    const int result = xmodemRx(channel, area.data(), capacity);
    if (result > capacity || area[static_cast<std::size_t>(capacity)] != 0xA5)
        std::abort(); // counted or wrote past the capacity
    return 0;
}
