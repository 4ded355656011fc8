#pragma once

#include <QByteArray>
#include <QFile>

// Resident memory of this process in KiB, from /proc/self/status (Linux;
// 0 elsewhere).
inline long ResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').front().toLong();
    }
    return 0;
}
