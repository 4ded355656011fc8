#pragma once

#include "protocol/decimal.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
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

// Whether an output file or folder can be written, checked before the port
// is opened so that nothing is sent for a run whose results would be lost.
// A file must lie in an existing folder and be creatable (or, when it
// exists, writable); it is not left behind when it did not exist. A folder
// is created when missing. false with the reason.
bool CheckOutputFile(const QString& path, QString& error);
bool CheckOutputFolder(const QString& path, QString& error);

// Writes to standard output and standard error, flushing every line so that
// a pipe or a log file sees each reading as it comes.
class Output {
public:
    // command: the command this run carries out, named in its error lines.
    explicit Output(bool json, const QString& command = {}) : m_json(json), m_command(command) {}

    bool json() const { return m_json; }
    // A single answer: JSON line, or a block of lines.
    void print(const OutputRecord& record) const;
    // One reading of a stream: JSON line, or one text line.
    void printLine(const OutputRecord& record) const;
    // Plain text on standard output (tables, help).
    void printText(const QString& text) const;
    // A message on standard error.
    void error(const QString& text) const;
    // The run failed: the message on standard error and, under --json, an
    // "error" line on standard output ({"type":"error","command":...,
    // "result":N,"error":"..."}), so that a script reading only the lines
    // sees every failure. A run that reported its failures as error lines
    // already (poll, one per failed exchange) gets no other.
    void failure(const QString& message, std::optional<int> result = std::nullopt,
                 const QString& command = {}) const;

private:
    bool m_json;
    QString m_command;
    mutable bool m_errorLinePrinted = false;
};
