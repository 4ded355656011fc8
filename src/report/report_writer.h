#pragma once

#include <QHash>
#include <QImage>
#include <QString>

class TTextOper;
struct RPackReport;
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

// The charts of a report, drawn, and the screen resolution the document
// is laid out at.
struct RReportImages {
    QHash<QString, QImage> charts;
    double screenDpi = 96;
};

// Draws the charts of one pack into images (nothing for a silent pack).
// Qt Charts are widgets: the user-interface thread only, one pack at a
// time so that the window can paint in between.
void DrawPackCharts(const RPackReport& pack, const TTextOper& texts, RReportImages& images);
// The screen resolution, read on the user-interface thread.
double ReportScreenDpi();

// Writes the files from the report and its charts; any thread (no widget
// is touched). Each file is written to a temporary file in its folder and
// renamed over the target only when it is complete: a failed run leaves an
// earlier file of that name as it was.
bool WriteReportFiles(const RReport& report, const RReportImages& images, const RReportFiles& files,
                      const TTextOper& texts, QString* error);

// Both at once, for the command line: needs a QApplication.
bool WriteReport(const RReport& report, const RReportFiles& files, const TTextOper& texts, QString* error);
