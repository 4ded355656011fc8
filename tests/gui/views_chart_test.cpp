// The reading charts: the chart window draws exactly the readings the store
// filed and follows the pack it is given, the cell bars mark the cells the
// overview grid marks, zoom and decimation keep what matters, and the
// work-data page plots its records in time order.

#include "store/devinfo.h"
#include "views/chart_window.h"
#include "views/file_dialogs.h"
#include "views/framepackcellvoltage.h"
#include "views/framepackhistory.h"
#include "views/reading_chart.h"

#include <QBarSet>
#include <QImage>
#include <QLineSeries>
#include <QTableView>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr std::int64_t kDayStart = 1'704'200'000'000;   // 2024-01-02, ms since 1970

struct Reading {
    std::uint8_t pack;
    std::int64_t timeMs;
    std::int64_t voltageRaw;   // V / 10000
    std::int64_t currentRaw;   // A / 10000
    std::uint8_t soc;
    std::uint16_t lowest;      // cell 1; cell 2 carries highest
    std::uint16_t highest;
};

RAnalogData AnalogOf(const Reading& r)
{
    RAnalogData analog = InitAnalogData(r.pack);
    analog.time = QDateTime::fromMSecsSinceEpoch(r.timeMs);
    analog.totalVoltage = Decimal::fromRaw(r.voltageRaw);
    analog.current = Decimal::fromRaw(r.currentRaw);
    analog.soc = r.soc;
    analog.cellVoltages.fill(0);
    analog.cellVoltages[0] = r.lowest;
    analog.cellVoltages[1] = r.highest;
    return analog;
}

// The series of the chart hold exactly these readings, in this order.
void ExpectSeriesHold(const TReadingChart& chart, const std::vector<Reading>& readings, const char* what)
{
    const QList<QPointF> voltage = chart.VoltageSeries()->points();
    const QList<QPointF> current = chart.CurrentSeries()->points();
    const QList<QPointF> soc = chart.SocSeries()->points();
    const QList<QPointF> lowest = chart.LowestCellSeries()->points();
    const QList<QPointF> highest = chart.HighestCellSeries()->points();
    ASSERT_EQ(voltage.size(), qsizetype(readings.size())) << what;
    for (std::size_t i = 0; i < readings.size(); ++i) {
        const Reading& r = readings[i];
        const auto at = qsizetype(i);
        for (const QList<QPointF>* series : {&voltage, &current, &soc, &lowest, &highest})
            EXPECT_EQ((*series)[at].x(), double(r.timeMs)) << what << " reading " << i;
        EXPECT_EQ(voltage[at].y(), Decimal::fromRaw(r.voltageRaw).toDouble()) << what << " reading " << i;
        EXPECT_EQ(current[at].y(), Decimal::fromRaw(r.currentRaw).toDouble()) << what << " reading " << i;
        EXPECT_EQ(soc[at].y(), r.soc) << what << " reading " << i;
        EXPECT_EQ(lowest[at].y(), r.lowest) << what << " reading " << i;
        EXPECT_EQ(highest[at].y(), r.highest) << what << " reading " << i;
    }
}

std::vector<Reading> OfPack(const std::vector<Reading>& readings, std::uint8_t pack)
{
    std::vector<Reading> kept;
    for (const Reading& r : readings)
        if (r.pack == pack)
            kept.push_back(r);
    return kept;
}

} // namespace

TEST(ChartWindow, SeriesHoldTheStoredReadingsFollowThePackAndSaveAsPng)
{
    TDevInfo store;
    store.InitStore();
    const std::vector<Reading> first = {
        {2, kDayStart, 532'100, -123'400, 87, 3301, 3315},
        {5, kDayStart + 400, 498'700, 50'000, 12, 3100, 3120},
        {2, kDayStart + 1000, 532'000, 0, 87, 3300, 3314},
        {2, kDayStart + 2000, 531'900, 655'350, 86, 3299, 3313},
        {5, kDayStart + 2400, 498'600, 50'100, 12, 3099, 3121},
    };
    for (const Reading& r : first)
        store.StoreAnalogData(AnalogOf(r));

    TChartWindow window(store, 2);
    window.show();
    ExpectSeriesHold(*window.Chart(), OfPack(first, 2), "pack 2 on opening");

    // New readings are appended on the next look.
    const Reading later = {2, kDayStart + 3000, 531'800, -327'680, 85, 3298, 3312};
    store.StoreAnalogData(AnalogOf(later));
    window.Refresh();
    std::vector<Reading> pack2 = OfPack(first, 2);
    pack2.push_back(later);
    ExpectSeriesHold(*window.Chart(), pack2, "pack 2 after a new reading");
    EXPECT_EQ(window.Chart()->CellBars(ExtremeMark::Highest)->at(1), later.highest) << "bars of the latest reading";

    window.FollowPack(5);
    ExpectSeriesHold(*window.Chart(), OfPack(first, 5), "pack 5");
    EXPECT_EQ(window.Chart()->CellBars(ExtremeMark::Lowest)->at(0), 3099);

    // "Save PNG" through the file-dialog hook writes a picture.
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("chart.png"));
    const auto previous =
        FileDialogs::SetSaveHandler([&](QWidget*, const FileDialogs::SaveRequest&) { return path; });
    EXPECT_TRUE(window.Chart()->SaveAsPng());
    FileDialogs::SetSaveHandler(previous);
    EXPECT_FALSE(QImage(path).isNull());
}

TEST(ReadingChart, CellBarsMarkTheCellsTheOverviewGridMarks)
{
    // Marks per cell, written out: L lowest, H highest, . plain.
    struct Case {
        const char* name;
        std::array<std::uint16_t, kMaxCells> cells;
        const char* marks;
        int spread;
    };
    const Case cases[] = {
        {"tied highest", {3300, 3305, 3290, 3301, 3305, 3299, 3298, 3297, 3305, 3296, 3295, 3294, 3293, 3292, 3291, 3302},
         ".HL.H...H.......", 15},
        {"tied lowest", {3290, 3300, 3290, 3310, 3300, 3300, 3300, 3300, 3300, 3300, 3300, 3300, 3300, 3300, 3300, 3290},
         "L.LH...........L", 20},
        {"all equal: lowest wins", {3300, 3300, 3300, 3300, 3300, 3300, 3300, 3300, 3300, 3300, 3300, 3300, 3300, 3300,
                                    3300, 3300},
         "LLLLLLLLLLLLLLLL", 0},
        {"cells without readings stay plain", {0, 3300, 3200, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         ".HL.............", 100},
    };
    TFramePackCellVoltage grid;
    TReadingChart chart;
    const auto* view = grid.findChild<QTableView*>(QStringLiteral("StringGrid1"));
    for (const Case& c : cases) {
        RAnalogData analog;
        analog.cellVoltages = c.cells;
        grid.ShowData(analog, RAlarmData{});
        chart.ShowCells(c.cells);
        for (int cell = 0; cell < kMaxCells; ++cell) {
            // Cells 1-8 stand in rows 1-8 of column 1, cells 9-16 in column 5.
            const QColor colour = view->model()
                                      ->index(cell % 8 + 1, cell < 8 ? 1 : 5)
                                      .data(Qt::ForegroundRole)
                                      .value<QColor>();
            const char gridMark = colour == QColor(255, 0, 0) ? 'H' : colour == QColor(0, 128, 0) ? 'L' : '.';
            char barMark = '.';
            if (chart.CellBars(ExtremeMark::Lowest)->at(cell) != 0)
                barMark = 'L';
            if (chart.CellBars(ExtremeMark::Highest)->at(cell) != 0)
                barMark = barMark == '.' ? 'H' : '?';
            const double total = chart.CellBars(ExtremeMark::Plain)->at(cell)
                + chart.CellBars(ExtremeMark::Lowest)->at(cell) + chart.CellBars(ExtremeMark::Highest)->at(cell);
            EXPECT_EQ(barMark, c.marks[cell]) << c.name << ", cell " << cell + 1;
            EXPECT_EQ(gridMark, c.marks[cell]) << c.name << ", cell " << cell + 1;
            EXPECT_EQ(total, c.cells[std::size_t(cell)]) << c.name << ", cell " << cell + 1;
        }
        EXPECT_TRUE(chart.CellsTitle().endsWith(QStringLiteral("   ") + QString::number(c.spread)))
            << c.name << ": " << chart.CellsTitle().toStdString();
    }
}

TEST(ReadingChart, ADayDrawsDecimatedWithItsPeaksAndZoomShowsEveryReading)
{
    TReadingChart chart;
    std::vector<RReadingPoint> day(24 * 60 * 60);
    for (std::size_t i = 0; i < day.size(); ++i) {
        day[i].timeMs = kDayStart + std::int64_t(i) * 1000;
        day[i].voltage = 520'000 + std::int32_t(i % 100);
        day[i].soc = 50;
    }
    day[43'210].voltage = 600'000;   // one peak and one dip in a day
    day[43'211].voltage = 400'000;
    chart.AppendPoints(day);
    QList<QPointF> drawn = chart.VoltageSeries()->points();
    EXPECT_LE(drawn.size(), TReadingChart::kMaxDrawnPoints);
    const auto [low, high] = std::minmax_element(drawn.begin(), drawn.end(),
                                                 [](const QPointF& a, const QPointF& b) { return a.y() < b.y(); });
    EXPECT_EQ(high->y(), 60.0);
    EXPECT_EQ(low->y(), 40.0);

    // Ten minutes around noon: every reading in view and one beyond each edge.
    const std::int64_t noon = kDayStart + 43'200'000;
    chart.ShowRange(noon, noon + 600'000);
    drawn = chart.VoltageSeries()->points();
    ASSERT_EQ(drawn.size(), 603);
    EXPECT_EQ(drawn.front().x(), double(noon - 1000));
    EXPECT_EQ(drawn.back().x(), double(noon + 601'000));

    // Zooming in halves the range around its middle; panning keeps the width.
    chart.ZoomBy(0.5);
    EXPECT_EQ(chart.ViewEnd() - chart.ViewStart(), 300'000);
    EXPECT_EQ(chart.ViewStart(), noon + 150'000);
    chart.PanBy(-1.0);
    EXPECT_EQ(chart.ViewStart(), noon - 150'000);

    // A view at the newest reading follows new ones; "show all" as well.
    chart.ShowAll();
    RReadingPoint next = day.back();
    next.timeMs += 1000;
    chart.AppendPoints(std::span(&next, 1));
    EXPECT_EQ(chart.ViewEnd(), next.timeMs);
    EXPECT_EQ(chart.ViewStart(), kDayStart);
}

TEST(WorkDataPage, ChartPlotsTheRecordsReadInTimeOrder)
{
    TFramePackWorkDataInfo page;
    page.InitGrid();
    const auto record = [](int day, std::int64_t voltageRaw) {
        RHistoryRecord r;
        r.packNumber = 1;
        r.time = {2024, 1, std::uint8_t(day), 12, 0, 0};
        r.voltage = Decimal::fromRaw(voltageRaw);
        r.cellVoltages[0] = std::uint16_t(3000 + day);
        r.cellVoltages[1] = std::uint16_t(3100 + day);
        return r;
    };
    page.AddRecordRow(record(3, 530'000));
    page.AddRecordRow(record(0, 999'999));   // no valid date: left out
    page.AddRecordRow(record(1, 510'000));
    page.AddRecordRow(record(2, 520'000));
    page.BtnRecordChartClick();
    TReadingChart* chart = page.RecordChart();
    ASSERT_NE(chart, nullptr);
    EXPECT_TRUE(chart->isVisible());
    const QList<QPointF> voltage = chart->VoltageSeries()->points();
    ASSERT_EQ(voltage.size(), 3);
    for (int i = 0; i < 3; ++i) {
        const QDateTime time(QDate(2024, 1, i + 1), QTime(12, 0));
        EXPECT_EQ(voltage[i].x(), double(time.toMSecsSinceEpoch())) << i;
        EXPECT_EQ(voltage[i].y(), 51.0 + i) << i;
    }
    EXPECT_EQ(chart->CellBars(ExtremeMark::Highest)->at(1), 3103) << "bars of the newest record";
}
