#pragma once

#include <QString>

class TTextOper;
struct RReport;

// The files one report goes to: a PDF, and optionally a self-contained HTML
// file (its charts inside it as data).
struct RReportFiles {
    QString pdf;
    QString html;   // empty: none
};

// Whether the file can be written (and, since it is replaced as a whole,
// whether its folder takes a new file). Asked before any pack is read.
bool CheckReportFile(const QString& path, QString* error);
bool CheckReportFiles(const RReportFiles& files, QString* error);

// Draws the charts and writes the files. Each file is written to a
// temporary file in its folder and renamed over the target only when it is
// complete: a failed run leaves an earlier file of that name as it was.
// Needs a QApplication (the charts); runs on the user-interface thread.
bool WriteReport(const RReport& report, const RReportFiles& files, const TTextOper& texts, QString* error);
