#include "outputs/output_record.h"

#include "services/input_text.h"

#include <QStringList>

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
