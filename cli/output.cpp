#include "output.h"

#include "command_line.h"

#include "services/settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>

namespace {

template <typename T, typename Format>
QStringList Formatted(const std::vector<T>& values, Format format)
{
    QStringList items;
    items.reserve(qsizetype(values.size()));
    for (const T& value : values)
        items << format(value);
    return items;
}

void Write(std::FILE* stream, const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

QString JsonString(const QString& text)
{
    QString out;
    out.reserve(text.size() + 2);
    out += QLatin1Char('"');
    for (QChar c : text) {
        switch (c.unicode()) {
        case u'"': out += QStringLiteral("\\\""); break;
        case u'\\': out += QStringLiteral("\\\\"); break;
        case u'\n': out += QStringLiteral("\\n"); break;
        case u'\r': out += QStringLiteral("\\r"); break;
        case u'\t': out += QStringLiteral("\\t"); break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    out += QLatin1Char('"');
    return out;
}

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

OutputRecord::OutputRecord(const QString& type) : m_type(type) {}

OutputRecord& OutputRecord::add(const QString& name, const QString& json, const QString& plain)
{
    m_fields.push_back(Field{name, json, plain});
    return *this;
}

OutputRecord& OutputRecord::number(const QString& name, std::int64_t value)
{
    const QString digits = QString::number(value);
    return add(name, digits, digits);
}

OutputRecord& OutputRecord::number(const QString& name, Decimal value)
{
    const QString digits = value.toString();
    return add(name, digits, digits);
}

OutputRecord& OutputRecord::text(const QString& name, const QString& value)
{
    // Texts come from the packs too: the readable form never passes their
    // control characters to the terminal.
    return add(name, JsonString(value), PrintableText(value));
}

OutputRecord& OutputRecord::flag(const QString& name, bool value)
{
    const QString word = value ? QStringLiteral("true") : QStringLiteral("false");
    return add(name, word, value ? QStringLiteral("yes") : QStringLiteral("no"));
}

OutputRecord& OutputRecord::numbers(const QString& name, const std::vector<std::int64_t>& values)
{
    const QStringList items = Formatted(values, [](std::int64_t v) { return QString::number(v); });
    return add(name, QLatin1Char('[') + items.join(QLatin1Char(',')) + QLatin1Char(']'), items.join(QLatin1Char(' ')));
}

OutputRecord& OutputRecord::numbers(const QString& name, const std::vector<Decimal>& values)
{
    const QStringList items = Formatted(values, [](Decimal v) { return v.toString(); });
    return add(name, QLatin1Char('[') + items.join(QLatin1Char(',')) + QLatin1Char(']'), items.join(QLatin1Char(' ')));
}

OutputRecord& OutputRecord::texts(const QString& name, const QStringList& values)
{
    const QStringList quoted = Formatted(std::vector<QString>(values.begin(), values.end()), JsonString);
    return add(name, QLatin1Char('[') + quoted.join(QLatin1Char(',')) + QLatin1Char(']'),
               values.join(QStringLiteral(" / ")));
}

OutputRecord& OutputRecord::raw(const QString& name, const QString& jsonText, const QString& plainText)
{
    return add(name, jsonText, plainText);
}

QString OutputRecord::toJson() const
{
    QString out = QStringLiteral("{\"type\":") + JsonString(m_type);
    for (const Field& field : m_fields)
        out += QLatin1Char(',') + JsonString(field.name) + QLatin1Char(':') + field.json;
    return out + QLatin1Char('}');
}

QString OutputRecord::toLine() const
{
    QStringList parts{m_type};
    for (const Field& field : m_fields) {
        // A value with blanks is quoted so that the line still splits into pairs.
        const bool quote = field.plain.contains(QLatin1Char(' ')) || field.plain.contains(QLatin1Char('\n'))
            || field.plain.isEmpty();
        parts << field.name + QLatin1Char('=') + (quote ? JsonString(field.plain) : field.plain);
    }
    return parts.join(QLatin1Char(' '));
}

QString OutputRecord::toBlock() const
{
    qsizetype width = 0;
    for (const Field& field : m_fields)
        width = std::max(width, field.name.size());
    QString out;
    for (const Field& field : m_fields)
        out += field.name.leftJustified(width + 2) + field.plain + QLatin1Char('\n');
    return out;
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
