#pragma once

#include "outputs/output_record.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

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
