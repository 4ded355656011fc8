#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// The file an earlier run left where a new one is to be written; a test
// checks afterwards that it is still there, unchanged.
inline constexpr char kEarlierReport[] = "earlier report";

inline bool PlantEarlierFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(kEarlierReport) == qint64(sizeof kEarlierReport - 1);
}
