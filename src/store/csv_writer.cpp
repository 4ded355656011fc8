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

void AppendLine(QString& text, const QStringList& cells)
{
    for (qsizetype index = 0; index < cells.size(); ++index) {
        if (index > 0)
            text += QLatin1Char(',');
        AppendCell(text, cells[index]);
    }
    text += QLatin1String("\r\n");
}

} // namespace

QString CsvLine(const QStringList& cells)
{
    QString line;
    AppendLine(line, cells);
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
    // Lines are gathered as text and turned into the file's encoding a
    // block at a time.
    QString block;
    block.reserve(kWriteBlock + 4096);
    for (int line = 0; line < lineCount; ++line) {
        AppendLine(block, row(line));
        if (block.size() >= kWriteBlock || line + 1 == lineCount) {
            const QByteArray bytes = block.toLocal8Bit();
            if (file.write(bytes) != bytes.size())
                return fail();
            block.resize(0);
        }
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}
