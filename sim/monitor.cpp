#include "monitor.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstdio>
#include <vector>

namespace sim {

constexpr std::uint8_t kCarriageReturn = 0x0D;
constexpr std::uint8_t kLineFeed = 0x0A;
constexpr std::uint8_t kBackspace = 0x08;
constexpr std::uint8_t kDelete = 0x7F;
constexpr const char *kPrompt = "bf> ";
constexpr const char *kNewLine = "\r\n";

// Commands in the order help lists them; the table ends with a null entry.
const Monitor::Command Monitor::commands[] = {
    {"help", "list the commands", &Monitor::help},
    {"progress", "a progress line that updates in place (carriage returns)", &Monitor::progress},
    {"html", "a board status table sent as an HTML chunk (0xBB)", &Monitor::html},
    {"burst", "burst [lines]: a long burst of text for throughput", &Monitor::burst},
    {"echo", "echo text: says the text back", &Monitor::echoLine},
    {"send", "send name [size]: sends a file of size bytes (300) to the PC by XMODEM", &Monitor::sendFile},
    {"xsend", "xsend [size]: sends size bytes (1024) by plain XMODEM: receive them with X-Rx", &Monitor::xmodemSend},
    {"get", "get name: asks the PC for a file and receives it by XMODEM", &Monitor::getFile},
    {"eeprom", "eeprom [settings]: shows the settings kept in EEPROM, or stores new ones", &Monitor::eeprom},
    {nullptr, nullptr, nullptr},
};

Monitor::Monitor(BoardOutput &out_, const BoardReports &reports_)
    : out(out_), reports(reports_), transfer(out_, reports_)
{
}

void Monitor::start(const std::string &bootedWhat, bool echo)
{
    echoTyped = echo;
    if (transfer.active())
        transfer.abandon(); // the board was reset in the middle of it
    line.clear();
    lastByte = 0;
    out.send(std::string(kNewLine) + "Lodvane demo monitor on the virtual board" + kNewLine + bootedWhat + kNewLine
             + "Type HELP and Enter for the commands." + kNewLine);
    prompt();
}

void Monitor::prompt(int pauseMsBefore)
{
    out.send(kPrompt, pauseMsBefore);
}

void Monitor::tick(std::chrono::steady_clock::time_point now)
{
    if (!transfer.stale(now))
        return;
    out.send(transfer.abandon() + kNewLine);
    prompt();
}

void Monitor::receive(std::uint8_t byte)
{
    if (transfer.active()) {
        const std::string report = transfer.receive(byte);
        if (!report.empty()) {
            out.send(report + kNewLine, kChunkGapMs);
            prompt();
        }
        return;
    }
    // A line ends with CR (what the program's terminal sends), LF or CR LF.
    const bool lineFeedAfterReturn = byte == kLineFeed && lastByte == kCarriageReturn;
    lastByte = byte;
    if (lineFeedAfterReturn)
        return;
    if (byte == kCarriageReturn || byte == kLineFeed) {
        out.send(kNewLine);
        const std::string typed = line;
        line.clear();
        execute(typed);
        return;
    }
    if (byte == kBackspace || byte == kDelete) {
        if (!line.empty()) {
            line.pop_back();
            if (echoTyped)
                out.send("\b \b");
        }
        return;
    }
    if (byte < 0x20 || byte > 0x7E || line.size() >= kMonitorLineBytes)
        return;
    line.push_back(char(byte));
    if (echoTyped)
        out.sendByte(byte);
}

void Monitor::execute(const std::string &typed)
{
    const std::size_t start = typed.find_first_not_of(' ');
    if (start == std::string::npos) {
        prompt();
        return;
    }
    const std::size_t end = typed.find(' ', start);
    std::string word = typed.substr(start, end == std::string::npos ? std::string::npos : end - start);
    std::transform(word.begin(), word.end(), word.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    const std::size_t argAt = end == std::string::npos ? std::string::npos : typed.find_first_not_of(' ', end);
    const std::string argument = argAt == std::string::npos ? std::string() : typed.substr(argAt);
    if (reports.trace)
        reports.trace("monitor command=" + word);
    for (const Command *c = commands; c->name; ++c) {
        if (word == c->name) {
            (this->*(c->run))(argument);
            return;
        }
    }
    out.send("Unknown command '" + word + "'; HELP lists the commands." + kNewLine);
    prompt();
}

void Monitor::help(const std::string &)
{
    std::string text;
    for (const Command *c = commands; c->name; ++c) {
        std::string name = c->name;
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char ch) { return char(std::toupper(ch)); });
        name.resize(10, ' ');
        text += "  " + name + c->help + kNewLine;
    }
    out.send(text);
    prompt();
}

void Monitor::progress(const std::string &)
{
    // Each update is its own chunk ending in a carriage return: the terminal
    // erases the line when the next chunk arrives.
    for (int step = 0; step <= kProgressSteps; ++step) {
        char text[64];
        std::snprintf(text, sizeof text, "Writing sectors ... %3d%%\r", step * 100 / kProgressSteps);
        out.send(text, step == 0 ? kChunkGapMs : kProgressStepMs);
    }
    out.send(std::string("Writing sectors ... done") + kNewLine, kProgressStepMs);
    prompt();
}

void Monitor::html(const std::string &)
{
    const std::string chunk = std::string(1, char(kHtmlChunkMarker))
        + "<b>Board status</b>\n"
          "<table border=\"1\"><tr><th>item</th><th>value</th></tr>"
          "<tr><td>core clock</td><td>400 MHz</td></tr>"
          "<tr><td>system clock</td><td><font color=\"green\">80 MHz</font></td></tr>"
          "<tr><td>FLASH</td><td><i>idle</i></td></tr></table>";
    out.send(chunk, kChunkGapMs);
    prompt(kChunkGapMs);
}

void Monitor::burst(const std::string &argument)
{
    int lines = kBurstLines;
    if (!argument.empty())
        lines = std::clamp(std::atoi(argument.c_str()), 1, 100000);
    std::string text;
    for (int i = 1; i <= lines; ++i) {
        char row[96];
        std::snprintf(row, sizeof row, "%06d The quick brown fox jumps over the lazy dog 0123456789\r\n", i);
        text += row;
    }
    out.send(text);
    prompt();
}

// What SEND and XSEND send: a pattern a test can recompute.
static std::vector<std::uint8_t> testPattern(long size)
{
    std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = std::uint8_t((i * 7 + (i >> 8)) & 0xFF);
    return data;
}

// The file names the PC sees are the monitor's arguments as typed (the
// terminal sends letters in upper case).
void Monitor::sendFile(const std::string &argument)
{
    const std::size_t space = argument.find(' ');
    const std::string name = argument.substr(0, space);
    const long size = space == std::string::npos ? kDefaultSendBytes : std::atol(argument.c_str() + space + 1);
    if (name.empty() || size < 0 || size > kMaxSendBytes) {
        out.send(std::string("usage: send name [size], size 0 to ") + std::to_string(kMaxSendBytes) + kNewLine);
        prompt();
        return;
    }
    transfer.startSending(name, testPattern(size));
}

void Monitor::xmodemSend(const std::string &argument)
{
    const long size = argument.empty() ? kDefaultXmodemSendBytes : std::atol(argument.c_str());
    if (size < 1 || size > kMaxSendBytes) {
        out.send(std::string("usage: xsend [size], size 1 to ") + std::to_string(kMaxSendBytes) + kNewLine);
        prompt();
        return;
    }
    out.send("Sending " + std::to_string(size) + " bytes by XMODEM: start X-Rx on the PC within "
             + std::to_string(kPlainSendStartLimitMs / 1000) + " s (Escape cancels)." + kNewLine);
    transfer.startPlainSending(testPattern(size));
}

void Monitor::getFile(const std::string &argument)
{
    const std::string name = argument.substr(0, argument.find(' '));
    if (name.empty()) {
        out.send(std::string("usage: get name") + kNewLine);
        prompt();
        return;
    }
    transfer.startRequest(name);
}

void Monitor::eeprom(const std::string &argument)
{
    if (!argument.empty()) {
        eepromText = argument.substr(0, kMonitorLineBytes);
        out.send(std::string("EEPROM written") + kNewLine);
    } else {
        out.send("EEPROM " + eepromText + kNewLine);
    }
    prompt();
}

void Monitor::echoLine(const std::string &argument)
{
    out.send(argument + kNewLine);
    prompt();
}

} // namespace sim
