#include "store/csv_writer.h"

#include <QSaveFile>

namespace {

// Lines are gathered into blocks of about this size before each write.
constexpr qsizetype kWriteBlock = 64 * 1024;

bool NeedsQuotes(const QString& cell)
{
    for (QChar character : cell) {
        if (character == QLatin1Char(',') || character == QLatin1Char('"') || character == QLatin1Char('\r')
            || character == QLatin1Char('\n'))
            return true;
    }
    return false;
}

void AppendCell(QString& line, const QString& cell)
{
    if (!NeedsQuotes(cell)) {
        line += cell;
        return;
    }
    QString quoted = cell;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    line += QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

QString CsvLine(const QStringList& cells)
{
    QString line;
    for (qsizetype index = 0; index < cells.size(); ++index) {
        if (index > 0)
            line += QLatin1Char(',');
        AppendCell(line, cells[index]);
    }
    line += QLatin1String("\r\n");
    return line;
}

bool WriteCsvFile(const QString& path, int lineCount, const CsvRowSource& row, QString* error)
{
    QSaveFile file(path);
    auto fail = [&] {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    };
    if (!file.open(QIODevice::WriteOnly))
        return fail();
    QByteArray block;
    block.reserve(kWriteBlock + 4096);
    for (int line = 0; line < lineCount; ++line) {
        block += CsvLine(row(line)).toLocal8Bit();
        if (block.size() >= kWriteBlock || line + 1 == lineCount) {
            if (file.write(block) != block.size())
                return fail();
            block.clear();
        }
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}
