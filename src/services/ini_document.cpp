#include "services/ini_document.h"

#include <QFile>
#include <QSaveFile>

namespace {

// One line of the text: where it starts, where its content ends (before the
// line end) and where the next line starts.
struct Line {
    qsizetype begin = 0;
    qsizetype contentEnd = 0;
    qsizetype next = 0;
};

Line LineAt(const QByteArray& text, qsizetype begin)
{
    Line line;
    line.begin = begin;
    const qsizetype newline = text.indexOf('\n', begin);
    line.next = newline < 0 ? text.size() : newline + 1;
    line.contentEnd = newline < 0 ? text.size() : newline;
    if (line.contentEnd > begin && text.at(line.contentEnd - 1) == '\r')
        --line.contentEnd;
    return line;
}

QString Content(const QByteArray& text, const Line& line)
{
    return QString::fromUtf8(text.mid(line.begin, line.contentEnd - line.begin)).trimmed();
}

// The section name of a "[name]" line, or none.
std::optional<QString> SectionName(const QString& content)
{
    if (!content.startsWith(QLatin1Char('[')))
        return std::nullopt;
    const qsizetype close = content.indexOf(QLatin1Char(']'));
    if (close < 0)
        return std::nullopt;
    return content.mid(1, close - 1).trimmed();
}

bool IsComment(const QString& content)
{
    return content.startsWith(QLatin1Char(';')) || content.startsWith(QLatin1Char('#'));
}

bool SameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Walks the lines of one section. Calls visit(line, key, value) for every
// key line of the section; returns where the section's last non-empty line
// ends (where a new key goes), or -1 when the section is missing.
template <typename Visit>
qsizetype WalkSection(const QByteArray& text, const QString& section, Visit visit)
{
    bool inSection = false;
    qsizetype insertAt = -1;
    for (qsizetype pos = 0; pos < text.size();) {
        const Line line = LineAt(text, pos);
        pos = line.next;
        const QString content = Content(text, line);
        if (const auto name = SectionName(content)) {
            if (inSection)
                break;
            inSection = SameName(*name, section);
            if (inSection)
                insertAt = line.next;
            continue;
        }
        if (!inSection || content.isEmpty())
            continue;
        insertAt = line.next;
        if (IsComment(content))
            continue;
        const qsizetype equals = content.indexOf(QLatin1Char('='));
        if (equals <= 0)
            continue;
        if (visit(line, content.left(equals).trimmed(), content.mid(equals + 1).trimmed()))
            break;
    }
    return insertAt;
}

QByteArray LineEnd(const QByteArray& text)
{
    return text.contains("\r\n") || text.isEmpty() ? QByteArrayLiteral("\r\n") : QByteArrayLiteral("\n");
}

} // namespace

IniDocument IniDocument::FromBytes(const QByteArray& bytes)
{
    IniDocument document;
    document.m_text = bytes;
    return document;
}

std::optional<QString> IniDocument::value(const QString& section, const QString& key) const
{
    std::optional<QString> found;
    WalkSection(m_text, section, [&](const Line&, const QString& name, const QString& value) {
        if (!SameName(name, key))
            return false;
        found = value;
        return true;
    });
    return found;
}

QStringList IniDocument::keys(const QString& section) const
{
    QStringList names;
    WalkSection(m_text, section, [&](const Line&, const QString& name, const QString&) {
        if (!names.contains(name, Qt::CaseInsensitive))
            names.append(name);
        return false;
    });
    return names;
}

void IniDocument::setValue(const QString& section, const QString& key, const QString& value)
{
    const QByteArray lineEnd = LineEnd(m_text);
    const QByteArray newLine = key.toUtf8() + '=' + value.toUtf8();
    std::optional<Line> existing;
    const qsizetype insertAt = WalkSection(m_text, section, [&](const Line& line, const QString& name, const QString&) {
        if (!SameName(name, key))
            return false;
        existing = line;
        return true;
    });
    if (existing) {
        m_text.replace(existing->begin, existing->contentEnd - existing->begin, newLine);
        return;
    }
    if (insertAt >= 0) {
        QByteArray insert = newLine + lineEnd;
        // The section's last line may lack a line end when it ends the file.
        if (insertAt > 0 && m_text.at(insertAt - 1) != '\n')
            insert.prepend(lineEnd);
        m_text.insert(insertAt, insert);
        return;
    }
    if (!m_text.isEmpty() && !m_text.endsWith('\n'))
        m_text.append(lineEnd);
    m_text.append('[' + section.toUtf8() + ']' + lineEnd + newLine + lineEnd);
}

void IniDocument::removeKey(const QString& section, const QString& key)
{
    std::optional<Line> existing;
    WalkSection(m_text, section, [&](const Line& line, const QString& name, const QString&) {
        if (!SameName(name, key))
            return false;
        existing = line;
        return true;
    });
    if (existing)
        m_text.remove(existing->begin, existing->next - existing->begin);
}

std::optional<QString> ReadIniValue(const QString& path, const QString& section, const QString& key)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return IniDocument::FromBytes(file.readAll()).value(section, key);
}

bool WriteIniValue(const QString& path, const QString& section, const QString& key, const QString& value)
{
    QByteArray old;
    {
        QFile file(path);
        if (file.exists()) {
            if (!file.open(QIODevice::ReadOnly))
                return false;
            old = file.readAll();
        }
    }
    IniDocument document = IniDocument::FromBytes(old);
    document.setValue(section, key, value);
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    out.write(document.toBytes());
    return out.commit();
}
