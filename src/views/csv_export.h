#pragma once

// Exporting a grid to a CSV file the user chooses: the question, the save
// dialog, the file and the outcome, all through the message-box and
// file-dialog hooks. The real-time logs use it now; every grid page with
// an "export" entry can.

#include "store/csv_writer.h"

#include <QString>

class QWidget;

// lineCount counts the header row. Asks first (Cancel ends), refuses a grid
// of one line or fewer, offers "Excel|*.csv" in baseFolder + "Excel", writes
// the file and reports the outcome. Returns the file written, or an empty
// string when nothing was.
QString ExportGridToCsv(QWidget* parent, int lineCount, const CsvRowSource& rows, const QString& baseFolder);
