#pragma once

// The chart of a pack's readings, shared by the chart window (the live
// readings of the pack in focus) and the work-data page (the records read):
// total voltage and current against time, SOC and the lowest and highest
// cell against time, and the cell voltages of one reading as bars with the
// lowest and highest cells marked as the overview grid marks them.
//
// The widget keeps the points it was given (24-byte records, oldest
// first) and draws the visible time range from them: all points when the
// range holds at most kMaxDrawnPoints, else the lowest and highest value of
// each of kMaxDrawnPoints / 2 runs of points, so that a day of readings
// draws as fast as a minute and no peak is lost. Zoom and pan move the
// time range only; the value axes fit what is visible. A view that reaches
// the newest point keeps following new points.
//
// User-interface thread only.

#include "protocol/records.h"
#include "store/reading_history.h"
#include "views/overview_layout.h"

#include <QWidget>

#include <array>
#include <cstdint>
#include <span>
#include <vector>

class QBarSet;
class QChart;
class QDateTimeAxis;
class QLabel;
class QLineSeries;
class QPushButton;
class QHBoxLayout;
class QValueAxis;
class TChartView;

class TReadingChart : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMaxDrawnPoints = 2000;

    explicit TReadingChart(QWidget* parent = nullptr, Qt::WindowFlags flags = {});

    // Points in time order, after those held.
    void AppendPoints(std::span<const RReadingPoint> points);
    // Forgets the first count points held.
    void DropOldest(std::size_t count);
    void ClearPoints();
    const std::vector<RReadingPoint>& Points() const { return m_points; }

    // The bars of one reading's cells; all 0 leaves the bars empty.
    void ShowCells(const std::array<std::uint16_t, kMaxCells>& cells);

    void ApplyLanguage();

    // Time range shown, in ms since 1970 UTC.
    std::int64_t ViewStart() const { return m_viewStart; }
    std::int64_t ViewEnd() const { return m_viewEnd; }
    // Narrows (factor < 1) or widens the range around anchor (0 left edge,
    // 1 right edge of the plot).
    void ZoomBy(double factor, double anchor = 0.5);
    // Moves the range by a fraction of its width (negative: earlier).
    void PanBy(double fraction);
    // Every point, following new ones.
    void ShowAll();
    // Shows [start, end]; follows new points when end reaches the newest.
    void ShowRange(std::int64_t start, std::int64_t end);

    // Asks for a file through the file-dialog hook and saves the charts as
    // PNG; false when cancelled or not written (with a message).
    bool SaveAsPng();
    bool SavePng(const QString& path);

    // What is drawn, for the window's tests.
    QLineSeries* VoltageSeries() const { return m_voltage; }
    QLineSeries* CurrentSeries() const { return m_current; }
    QLineSeries* SocSeries() const { return m_soc; }
    QLineSeries* LowestCellSeries() const { return m_lowestCell; }
    QLineSeries* HighestCellSeries() const { return m_highestCell; }
    // The bar sets: unmarked, lowest and highest cells (a cell's value
    // stands in exactly one of them, 0 in the others).
    QBarSet* CellBars(ExtremeMark mark) const;
    QString CellsTitle() const;

    // Room for the owner's own controls at the left of the button row.
    QHBoxLayout* ToolRow() const { return m_toolRow; }

private:
    void Redraw();
    void FitValueAxes();
    void AdoptAxisRange(QDateTimeAxis* axis);
    void ApplyRange();
    std::int64_t NewestTime() const;
    std::int64_t OldestTime() const;

    std::vector<RReadingPoint> m_points;
    std::array<std::uint16_t, kMaxCells> m_cells{};

    std::int64_t m_viewStart = 0;
    std::int64_t m_viewEnd = 0;
    bool m_showAll = true;
    bool m_follow = true;
    bool m_settingRange = false;

    QHBoxLayout* m_toolRow = nullptr;
    QPushButton* BtnChartZoomIn = nullptr;
    QPushButton* BtnChartZoomOut = nullptr;
    QPushButton* BtnChartEarlier = nullptr;
    QPushButton* BtnChartLater = nullptr;
    QPushButton* BtnChartAll = nullptr;
    QPushButton* BtnChartSave = nullptr;
    QLabel* LabelChartReadings = nullptr;
    QWidget* m_chartArea = nullptr;

    TChartView* ChartViewTrend = nullptr;
    TChartView* ChartViewLevels = nullptr;
    TChartView* ChartViewCells = nullptr;
    QChart* m_trendChart = nullptr;
    QChart* m_levelsChart = nullptr;
    QChart* m_cellsChart = nullptr;
    QDateTimeAxis* m_trendTime = nullptr;
    QDateTimeAxis* m_levelsTime = nullptr;
    QValueAxis* m_voltageAxis = nullptr;
    QValueAxis* m_currentAxis = nullptr;
    QValueAxis* m_socAxis = nullptr;
    QValueAxis* m_cellAxis = nullptr;
    QValueAxis* m_barAxis = nullptr;
    QLineSeries* m_voltage = nullptr;
    QLineSeries* m_current = nullptr;
    QLineSeries* m_soc = nullptr;
    QLineSeries* m_lowestCell = nullptr;
    QLineSeries* m_highestCell = nullptr;
    std::array<QBarSet*, 3> m_bars{};
};
