#pragma once

#include "protocol/decimal.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

// One answer or reading as the tool prints it: named fields in order. The
// same record becomes one JSON object on a line (--json) or readable text,
// so the two forms never drift apart.
class OutputRecord {
public:
    // type names what the object is ("analog", "alarm", "write", ...).
    explicit OutputRecord(const QString& type);

    OutputRecord& number(const QString& name, std::int64_t value);
    // Written exactly as the decimal's own digits, never through a double.
    OutputRecord& number(const QString& name, Decimal value);
    OutputRecord& text(const QString& name, const QString& value);
    OutputRecord& flag(const QString& name, bool value);
    OutputRecord& numbers(const QString& name, const std::vector<std::int64_t>& values);
    OutputRecord& numbers(const QString& name, const std::vector<Decimal>& values);
    OutputRecord& texts(const QString& name, const QStringList& values);
    // A field whose JSON text and readable text the caller built (nested
    // objects such as the parameter list).
    OutputRecord& raw(const QString& name, const QString& jsonText, const QString& plainText);

    QString type() const { return m_type; }
    // {"type":"analog","pack":1,...}
    QString toJson() const;
    // name=value pairs on one line, for streams of readings.
    QString toLine() const;
    // One "name  value" line per field, for a single answer.
    QString toBlock() const;

private:
    struct Field {
        QString name;
        QString json;
        QString plain;
    };
    OutputRecord& add(const QString& name, const QString& json, const QString& plain);

    QString m_type;
    std::vector<Field> m_fields;
};

// A JSON string literal with the quotes.
QString JsonString(const QString& text);
