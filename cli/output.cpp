#include "output.h"

#include "command_line.h"

#include "services/settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>

namespace {

void Write(std::FILE* stream, const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

bool CheckOutputFile(const QString& path, QString& error)
{
    const QFileInfo info(path);
    if (path.isEmpty() || info.isDir() || !info.absoluteDir().exists()) {
        error = QStringLiteral("%1 is not a file in an existing folder").arg(QuotedInput(path));
        return false;
    }
    // Opening for appending changes nothing in a file that exists.
    QFile file(path);
    const bool existed = file.exists();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        error = QStringLiteral("cannot write %1: %2").arg(QuotedInput(path), file.errorString());
        return false;
    }
    file.close();
    if (!existed)
        file.remove();
    return true;
}

bool CheckOutputFolder(const QString& path, QString& error)
{
    const QFileInfo info(path);
    if (path.isEmpty() || (info.exists() && !info.isDir()) || !CanWriteIn(path)) {
        error = QStringLiteral("cannot create files in the folder %1").arg(QuotedInput(path));
        return false;
    }
    return true;
}

void Output::print(const OutputRecord& record) const
{
    if (record.type() == u"error")
        m_errorLinePrinted = true;
    if (m_json)
        Write(stdout, (record.toJson() + QLatin1Char('\n')).toUtf8());
    else
        Write(stdout, record.toBlock().toLocal8Bit());
}

void Output::printLine(const OutputRecord& record) const
{
    if (record.type() == u"error")
        m_errorLinePrinted = true;
    if (m_json)
        Write(stdout, (record.toJson() + QLatin1Char('\n')).toUtf8());
    else
        Write(stdout, (record.toLine() + QLatin1Char('\n')).toLocal8Bit());
}

void Output::printText(const QString& text) const
{
    Write(stdout, text.toLocal8Bit());
}

void Output::error(const QString& text) const
{
    // Whatever a message carries, it never sends control characters to the
    // terminal.
    const QString shown = PrintableText(text);
    Write(stderr, (shown.endsWith(QLatin1Char('\n')) ? shown : shown + QLatin1Char('\n')).toLocal8Bit());
}

void Output::failure(const QString& message, std::optional<int> result, const QString& command) const
{
    if (m_json && !m_errorLinePrinted) {
        OutputRecord record(QStringLiteral("error"));
        const QString named = command.isEmpty() ? m_command : command;
        if (!named.isEmpty())
            record.text(QStringLiteral("command"), named);
        if (result)
            record.number(QStringLiteral("result"), *result);
        printLine(record.text(QStringLiteral("error"), message));
    }
    error(message);
}
