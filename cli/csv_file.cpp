#include "csv_file.h"

#include "store/realtime_row.h"

bool CsvFile::create(const QString& path, const QStringList& header, QString* error)
{
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate) || !append(header)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, m_file.errorString());
        m_file.close();
        return false;
    }
    return true;
}

bool CsvFile::append(const QStringList& cells)
{
    const QByteArray line = CsvLine(cells).toLocal8Bit();
    return m_file.write(line) == line.size() && m_file.flush();
}
