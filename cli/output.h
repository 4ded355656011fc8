#pragma once

#include "outputs/output_record.h"

#include <QString>
#include <QStringList>

#include <cstdint>
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
    explicit Output(bool json) : m_json(json) {}

    bool json() const { return m_json; }
    // A single answer: JSON line, or a block of lines.
    void print(const OutputRecord& record) const;
    // One reading of a stream: JSON line, or one text line.
    void printLine(const OutputRecord& record) const;
    // Plain text on standard output (tables, help).
    void printText(const QString& text) const;
    // A message on standard error.
    void error(const QString& text) const;

private:
    bool m_json;
};
