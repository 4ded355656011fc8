#include "services/text_table.h"

#include <QFile>
#include <QtGlobal>

#include <algorithm>

namespace {

bool ParseId(QByteArrayView field, std::uint32_t* id)
{
    const QByteArray text = field.trimmed().toByteArray();
    bool ok = false;
    qulonglong value = 0;
    if (text.startsWith("0x") || text.startsWith("0X"))
        value = text.mid(2).toULongLong(&ok, 16);
    else
        value = text.toULongLong(&ok, 10);
    if (!ok || text.isEmpty() || value > 0xFFFF)
        return false;
    *id = std::uint32_t(value);
    return true;
}

const char* ResourcePath(TextKind kind)
{
    switch (kind) {
    case TextKind::Ui: return ":/bms/texts/ui.tsv";
    case TextKind::Alarm: return ":/bms/texts/alarm.tsv";
    case TextKind::Error: return ":/bms/texts/error.tsv";
    case TextKind::Unit: return ":/bms/texts/unit.tsv";
    }
    return "";
}

struct BuiltIn {
    std::array<TextTable, 4> tables;
    QStringList errors;
};

const BuiltIn& LoadBuiltIn()
{
    // A function-local static is initialised once, also when two threads
    // ask for a text at the same moment.
    static const BuiltIn builtIn = [] {
        BuiltIn result;
        for (TextKind kind : {TextKind::Ui, TextKind::Alarm, TextKind::Error, TextKind::Unit}) {
            const QString path = QString::fromLatin1(ResourcePath(kind));
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly)) {
                result.errors.append(path + QStringLiteral(": missing from the program"));
                continue;
            }
            QStringList errors;
            result.tables[std::size_t(kind)] = TextTable::Parse(file.readAll(), &errors);
            for (const QString& error : std::as_const(errors))
                result.errors.append(path + QStringLiteral(": ") + error);
        }
        for (const QString& error : std::as_const(result.errors))
            qWarning("text tables: %s", qPrintable(error));
        return result;
    }();
    return builtIn;
}

bool IsTrimmed(QChar c)
{
    return c.unicode() <= 0x20 || c.isSpace() || c.category() == QChar::Other_Control;
}

} // namespace

TextTable TextTable::Parse(QByteArrayView tsv, QStringList* errors)
{
    TextTable table;
    const auto report = [errors](int lineNumber, const char* why) {
        if (errors)
            errors->append(QStringLiteral("line %1: %2").arg(lineNumber).arg(QLatin1String(why)));
    };
    const QList<QByteArray> lines = tsv.toByteArray().split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArray line = lines.at(i);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty() || line.startsWith('#'))
            continue;
        const int lineNumber = int(i) + 1;
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() != 1 + kLanguageCount) {
            report(lineNumber, "expected an id and three texts separated by tabs");
            continue;
        }
        std::uint32_t id = 0;
        if (!ParseId(fields.at(0), &id)) {
            report(lineNumber, "the id is not a number from 0 to 0xFFFF");
            continue;
        }
        if (table.m_rows.count(id) != 0) {
            report(lineNumber, "the id has a row already");
            continue;
        }
        std::array<QByteArray, kLanguageCount> texts;
        for (int language = 0; language < kLanguageCount; ++language)
            texts[std::size_t(language)] = fields.at(1 + language).trimmed();
        table.m_rows.emplace(id, std::move(texts));
    }
    return table;
}

QByteArray TextTable::text(std::uint32_t id, std::uint8_t language) const
{
    if (language >= kLanguageCount)
        return QByteArray();
    const auto row = m_rows.find(id);
    return row == m_rows.end() ? QByteArray() : row->second[language];
}

bool TextTable::contains(std::uint32_t id) const
{
    return m_rows.count(id) != 0;
}

std::vector<std::uint32_t> TextTable::ids() const
{
    std::vector<std::uint32_t> result;
    result.reserve(m_rows.size());
    for (const auto& row : m_rows)
        result.push_back(row.first);
    return result;
}

const TextTable& BuiltInTexts(TextKind kind)
{
    return LoadBuiltIn().tables[std::size_t(kind)];
}

QStringList BuiltInTextErrors()
{
    return LoadBuiltIn().errors;
}

QString TextFromBuffer(QByteArrayView utf8, std::size_t bufferSize)
{
    qsizetype length = std::min<qsizetype>(utf8.size(), qsizetype(bufferSize));
    const qsizetype zero = utf8.first(length).indexOf('\0');
    if (zero >= 0)
        length = zero;
    // A byte 10xxxxxx continues a character: when the first byte left out is
    // one, the character it belongs to does not fit and goes as a whole.
    if (length < utf8.size() && zero < 0) {
        while (length > 0 && (std::uint8_t(utf8[length]) & 0xC0) == 0x80)
            --length;
    }
    return TrimText(QString::fromUtf8(utf8.first(length)));
}

QString TrimText(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsTrimmed(text.at(begin)))
        ++begin;
    while (end > begin && IsTrimmed(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}
