#pragma once

// The production record: one line per board and operation, appended to a
// file that several runs (and several boards of one run) share.

#include <QByteArray>
#include <QString>

#include <mutex>

class RecordFile
{
public:
    RecordFile() = default;
    ~RecordFile();
    RecordFile(const RecordFile &) = delete;
    RecordFile &operator=(const RecordFile &) = delete;

    // Opens (creating) the file for appending; false with the reason.
    bool open(const QString &path, QString &error);
    bool isOpen() const { return fd >= 0; }
    // Appends `line` (ending in a line break) in one write and syncs it to
    // the disk. A write cut short (a full disk) is taken back, so the file
    // never holds half a line; false with the reason.
    bool append(const QByteArray &line, QString &error);

private:
    int fd = -1;
    std::mutex mutex; // boards finish on their own threads
};
