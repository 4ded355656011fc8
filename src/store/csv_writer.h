#pragma once

// The one writer of the program's CSV files: the real-time logs, their
// exports and the record pages all go through here, so every file has the
// same body.
//
// Body: one line per row, from the header row to the last row (a trailing
// empty row gives a line of commas), cells joined by "," and each line
// ended with CR LF, no byte-order mark. A cell is written unchanged unless
// it holds a comma, a double quote or a line break (bar codes and product
// texts come from the pack); such a cell is put in double quotes with its
// inner quotes doubled, so that it stays one cell.
//
// Encoding: the local 8-bit code page, which is the system's ANSI code
// page on Windows and UTF-8 elsewhere.

#include <QString>
#include <QStringList>

#include <functional>

// One CSV line of the cells, quoted only where needed, ended with CR LF.
QString CsvLine(const QStringList& cells);

// The cells of line `line` (0 is the header row) of a table being written.
using CsvRowSource = std::function<QStringList(int line)>;

// Writes lineCount lines into path. The lines go to a temporary file in the
// same folder, which replaces path only once it is complete: a failed save
// never leaves a partial file under the final name, and an earlier file of
// that name survives it. On failure error (when given) says why.
bool WriteCsvFile(const QString& path, int lineCount, const CsvRowSource& row, QString* error = nullptr);
