#pragma once

#include <QString>

#include <functional>

class TTextOper;
struct RReport;

// The report as HTML, in the current language. Every text a pack sent is
// escaped. The first page summarises the rack in one table; then one page
// per answering pack; last the rules behind the findings.
//
// imageSource names the image of a chart ("cells-3", "work-3") as the
// output needs it (a resource name for the PDF, a data URL for the HTML
// file); an empty answer leaves the chart out.
using ReportImageSource = std::function<QString(const QString& name)>;
QString ReportHtml(const RReport& report, const TTextOper& texts, const ReportImageSource& imageSource);

// The names under which the charts of a pack are asked for.
QString CellChartName(int packNumber);
QString WorkChartName(int packNumber);
