#include "simboard.h"

#include <cstdio>

namespace sim {

static std::string hex32(std::uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", value);
    return text;
}

SimBoard::SimBoard(const Options &options_, NorFlash &flash_, BoardReports reports_)
    : options(options_), flash(flash_), reports(std::move(reports_)), loader(options_, flash_, *this, reports),
      monitor(*this, reports)
{
}

void SimBoard::tick(std::chrono::steady_clock::time_point now)
{
    if (current == Mode::Application)
        monitor.tick(now);
}

std::uint16_t SimBoard::uartDivisor(unsigned bps)
{
    if (bps == 0)
        bps = kFallbackBaud;
    const std::uint32_t step = kUartOversampling * bps;
    return std::uint16_t((kNominalSystemClockHz + step / 2) / step);
}

void SimBoard::send(const std::uint8_t *data, std::size_t count, int pauseMsBefore)
{
    // The "falls silent" fault counts bytes from the last reset.
    const long long limit = options.faults.muteAfterBytes;
    if (limit >= 0 && sentSinceReset + (long long)count > limit) {
        count = std::size_t(std::max(0LL, limit - sentSinceReset));
        if (!muted && reports.trace)
            reports.trace("mute after=" + std::to_string(limit));
        muted = true;
    }
    sentSinceReset += (long long)count;
    if (count == 0 && pauseMsBefore == 0)
        return;
    queue.push_back(OutChunk{pauseMsBefore, std::vector<std::uint8_t>(data, data + count)});
}

OutChunk SimBoard::takeOutput()
{
    OutChunk chunk = std::move(queue.front());
    queue.pop_front();
    return chunk;
}

void SimBoard::reset(const std::string &cause, bool mayBootFlash)
{
    current = Mode::BootRom;
    reader = bootstream::Reader();
    received.clear();
    queue.clear();
    sentSinceReset = 0;
    muted = false;
    freshFromFlash = false;
    if (reports.trace)
        reports.trace("reset cause=" + cause);
    if (mayBootFlash && options.bootFromFlash)
        bootFromFlash();
}

bool SimBoard::bootFromFlash()
{
    const std::vector<std::uint8_t> &cells = flash.contents();
    const bootstream::Walk walk = bootstream::walk(cells);
    if (!walk.ok || !loaderFamily(walk.blocks).empty()) {
        if (reports.trace)
            reports.trace("flash-boot none");
        return false;
    }
    const std::uint32_t crc = bootstream::crc32(cells.data(), walk.streamSize);
    if (reports.trace)
        reports.trace("flash-boot size=" + std::to_string(walk.streamSize) + " crc32=" + hex32(crc));
    current = Mode::Application;
    freshFromFlash = true;
    char booted[96];
    std::snprintf(booted, sizeof booted, "Booted %zu bytes (CRC-32 %s) from FLASH on an %s.", walk.streamSize,
                  hex32(crc).c_str(), options.core().name);
    monitor.start(booted, options.echoTyped);
    // A reset comes from the host going away: nobody hears the banner, and a
    // host that comes back to program the board must not take it for the
    // auto-baud answer.
    queue.clear();
    return true;
}

void SimBoard::receive(std::uint8_t byte)
{
    switch (current) {
    case Mode::BootRom:
        if (byte == kAutoBaudByte)
            autoBaud();
        return;
    case Mode::Stream:
        streamByte(byte);
        return;
    case Mode::Halted:
        return;
    case Mode::Loader:
        if (!loader.receive(byte)) {
            reset("autobaud-byte");
            autoBaud();
        }
        return;
    case Mode::Application:
        // A host that starts with the auto-baud byte wants UART boot, as if
        // it had pulled BOOT and pulsed RESET.
        if (freshFromFlash && byte == kAutoBaudByte) {
            reset("autobaud-byte", false);
            autoBaud();
            return;
        }
        freshFromFlash = false;
        monitor.receive(byte);
        return;
    }
}

void SimBoard::autoBaud()
{
    const Faults &f = options.faults;
    const std::uint16_t divisor = uartDivisor(hostBaud);
    std::vector<std::uint8_t> answer{kAutoBaudReply, std::uint8_t(divisor & 0xFF), std::uint8_t(divisor >> 8), 0x00};
    if (f.autoBaudAnswerGiven)
        answer = f.autoBaudAnswer;
    std::string traced;
    for (std::uint8_t b : answer) {
        char text[4];
        std::snprintf(text, sizeof text, "%02x", b);
        traced += (traced.empty() ? "" : " ") + std::string(text);
    }
    if (reports.trace)
        reports.trace("autobaud baud=" + std::to_string(hostBaud) + " divisor=" + std::to_string(divisor)
                      + (f.noAutoBaudAnswer ? " unanswered" : " answer=" + traced));
    current = Mode::Stream;
    if (!f.noAutoBaudAnswer)
        send(answer.data(), answer.size(), 0);
}

void SimBoard::streamByte(std::uint8_t byte)
{
    received.push_back(byte);
    switch (reader.feed(byte)) {
    case bootstream::Reader::State::Complete:
        streamComplete();
        return;
    case bootstream::Reader::State::Bad:
        current = Mode::Halted;
        if (reports.trace)
            reports.trace("bad-header offset=" + std::to_string(reader.errorOffset()));
        if (reports.diagnostic)
            reports.diagnostic("boot ROM: " + reader.error() + "; ignoring the line until reset");
        return;
    default:
        return;
    }
}

void SimBoard::streamComplete()
{
    const std::uint32_t crc = bootstream::crc32(received.data(), received.size());
    const std::string family = loaderFamily(reader.blocks());
    const std::string summary = "size=" + std::to_string(received.size()) + " crc32=" + hex32(crc)
        + " blocks=" + std::to_string(reader.blocks().size());
    if (reports.trace)
        reports.trace("stream " + summary + (family.empty() ? " kind=application" : " kind=loader family=" + family));
    if (!family.empty()) {
        if (reports.diagnostic && family != options.core().family)
            reports.diagnostic(std::string("loader for ") + family + " booted on an " + options.core().name);
        current = Mode::Loader;
        loader.start(family);
        return;
    }
    current = Mode::Application;
    char booted[96];
    std::snprintf(booted, sizeof booted, "Booted %zu bytes (CRC-32 %s) over the UART on an %s.", received.size(),
                  hex32(crc).c_str(), options.core().name);
    monitor.start(booted, options.echoTyped);
}

} // namespace sim
