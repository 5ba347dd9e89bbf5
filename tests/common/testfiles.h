#pragma once

// Small file helpers the tests share: contents with no period of 256 (so a
// piece sent to the wrong place shows), and whole-file reads and writes.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>
#include <vector>

inline QByteArray testPattern(int size, int seed = 1)
{
    QByteArray data(size, 0);
    for (int i = 0; i < size; ++i)
        data[i] = char((i * 7 + seed + i / 251) & 0xFF);
    return data;
}

// What the virtual board's demo monitor sends for SEND and XSEND.
inline QByteArray monitorPattern(int size)
{
    QByteArray data(size, 0);
    for (int i = 0; i < size; ++i)
        data[i] = char((i * 7 + (i >> 8)) & 0xFF);
    return data;
}

inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Writes `contents` to `path`; the path, or an empty string on failure.
inline QString writeFile(const QString &path, const QByteArray &contents)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(contents) == contents.size() ? path : QString();
}

inline QByteArray toBytes(const std::vector<std::uint8_t> &v)
{
    return QByteArray(reinterpret_cast<const char *>(v.data()), int(v.size()));
}
