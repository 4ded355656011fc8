#pragma once

#include <QImage>

class TTextOper;
struct RPackReport;

// The report's charts, drawn with Qt Charts into images (no window needed,
// but a QApplication must exist). Pixel sizes suit a printed page width.
inline constexpr int kReportChartWidth = 1000;
inline constexpr int kReportChartHeight = 380;

// Each cell's voltage as a bar.
QImage CellVoltageChart(const RPackReport& pack, const TTextOper& texts);
// Voltage and current over the work-data log; a null image without points.
QImage WorkDataChart(const RPackReport& pack, const TTextOper& texts);
