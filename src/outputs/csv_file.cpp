#include "outputs/csv_file.h"

#include "store/realtime_row.h"

#include <QDir>

bool CsvFile::create(const QString& path, const QStringList& header, QString* error)
{
    return open(path, QIODevice::WriteOnly | QIODevice::Truncate, header, error);
}

bool CsvFile::createNew(const QString& folder, const QString& name, const QStringList& header, QString* error)
{
    const QDir dir(folder);
    const QString stem = name.endsWith(QLatin1String(".csv")) ? name.chopped(4) : name;
    // NewOnly fails on a file that exists, even one made a moment ago by
    // another run: the next free name is taken instead.
    for (int copy = 1; copy < 1000; ++copy) {
        const QString path = dir.filePath(copy == 1 ? stem + QStringLiteral(".csv")
                                                    : stem + QStringLiteral("_%1.csv").arg(copy));
        if (QFile::exists(path))
            continue;
        if (open(path, QIODevice::WriteOnly | QIODevice::NewOnly, header, error))
            return true;
        if (!QFile::exists(path))
            return false;   // not a name clash: the folder refuses it
    }
    if (error)
        *error = QStringLiteral("%1: no free file name").arg(dir.filePath(name));
    return false;
}

bool CsvFile::open(const QString& path, QIODevice::OpenMode mode, const QStringList& header, QString* error)
{
    m_file.setFileName(path);
    if (!m_file.open(mode)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, m_file.errorString());
        return false;
    }
    if (!append(header)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, m_file.errorString());
        m_file.remove();
        return false;
    }
    return true;
}

bool CsvFile::append(const QStringList& cells)
{
    const QByteArray line = CsvLine(cells).toLocal8Bit();
    return m_file.write(line) == line.size() && m_file.flush();
}
