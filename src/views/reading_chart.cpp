#include "views/reading_chart.h"

#include "services/text_ids.h"
#include "services/textoper.h"
#include "store/devinfo.h"
#include "views/file_dialogs.h"
#include "views/message_boxes.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QFont>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPushButton>
#include <QStackedBarSeries>
#include <QValueAxis>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <functional>
#include <limits>

// A chart view that turns the mouse wheel into a zoom of the time range
// around the pointer.
class TChartView : public QChartView {
public:
    using QChartView::QChartView;
    std::function<void(double factor, double anchor)> onWheel;

protected:
    void wheelEvent(QWheelEvent* event) override
    {
        const QRectF plot = chart()->plotArea();
        const double anchor =
            plot.width() > 0 ? std::clamp((event->position().x() - plot.left()) / plot.width(), 0.0, 1.0) : 0.5;
        if (onWheel && event->angleDelta().y() != 0)
            onWheel(event->angleDelta().y() > 0 ? 0.8 : 1.25, anchor);
        event->accept();
    }
};

namespace {

QString Text(std::uint16_t id)
{
    return TTextOper().GetLanguageText(id);
}

// The narrowest time range shown, and the range around a single reading.
constexpr std::int64_t kMinSpanMs = 10'000;
constexpr std::int64_t kEmptySpanMs = 60 * 60 * 1000;

// Unmarked bars: a quiet blue beside the grid's red and green marks.
const QColor kPlainBarColour(0x5B, 0x7F, 0xB0);

double Volts(std::int32_t raw)
{
    return Decimal::fromRaw(raw).toDouble();
}

using ValueOf = double (*)(const RReadingPoint&);
struct Drawn {
    QLineSeries* series;
    ValueOf value;
    bool skipZero;   // a point without cell readings carries 0 mV: not drawn
};

// Fills series with the points [first, last): all of them when they are
// few, else the lowest and highest value of each run, in time order.
void DrawSeries(const Drawn& drawn, const std::vector<RReadingPoint>& points, std::size_t first, std::size_t last)
{
    QList<QPointF> out;
    auto add = [&](const RReadingPoint& point) {
        const double value = drawn.value(point);
        if (!(drawn.skipZero && value == 0))
            out.append(QPointF(double(point.timeMs), value));
    };
    const std::size_t count = last - first;
    if (count <= std::size_t(TReadingChart::kMaxDrawnPoints)) {
        out.reserve(qsizetype(count));
        for (std::size_t i = first; i < last; ++i)
            add(points[i]);
    } else {
        const std::size_t runs = TReadingChart::kMaxDrawnPoints / 2;
        out.reserve(qsizetype(runs * 2));
        for (std::size_t run = 0; run < runs; ++run) {
            const std::size_t begin = first + count * run / runs;
            const std::size_t end = first + count * (run + 1) / runs;
            constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
            std::size_t low = kNone;
            std::size_t high = kNone;
            for (std::size_t i = begin; i < end; ++i) {
                const double value = drawn.value(points[i]);
                if (drawn.skipZero && value == 0)
                    continue;
                if (low == kNone || value < drawn.value(points[low]))
                    low = i;
                if (high == kNone || value > drawn.value(points[high]))
                    high = i;
            }
            if (low == kNone)
                continue;
            add(points[std::min(low, high)]);
            if (low != high)
                add(points[std::max(low, high)]);
        }
    }
    drawn.series->replace(out);
}

// Fits axis to the values of the series, with a margin of at least minPad.
void FitAxis(QValueAxis* axis, std::initializer_list<const QLineSeries*> series, double minPad)
{
    double low = std::numeric_limits<double>::max();
    double high = std::numeric_limits<double>::lowest();
    for (const QLineSeries* one : series)
        for (const QPointF& point : one->points()) {
            low = std::min(low, point.y());
            high = std::max(high, point.y());
        }
    if (low > high) {
        low = 0;
        high = 1;
    }
    const double pad = std::max(minPad, (high - low) * 0.05);
    axis->setRange(low - pad, high + pad);
    axis->applyNiceNumbers();
}

QLineSeries* AddLine(QChart* chart, QDateTimeAxis* time, QValueAxis* values)
{
    auto* series = new QLineSeries(chart);
    chart->addSeries(series);
    series->attachAxis(time);
    series->attachAxis(values);
    return series;
}

QChart* NewChart()
{
    auto* chart = new QChart;
    chart->setMargins(QMargins(4, 4, 4, 4));
    chart->legend()->setAlignment(Qt::AlignTop);
    return chart;
}

TChartView* NewView(QChart* chart, const char* name, QWidget* parent)
{
    auto* view = new TChartView(chart, parent);
    view->setObjectName(QLatin1String(name));
    view->setMinimumSize(300, 200);
    return view;
}

} // namespace

TReadingChart::TReadingChart(QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags)
{
    setObjectName(QStringLiteral("ReadingChart"));
    auto* column = new QVBoxLayout(this);
    m_toolRow = new QHBoxLayout;
    auto button = [this](QPushButton*& slot, const char* name) {
        slot = new QPushButton(this);
        slot->setObjectName(QLatin1String(name));
        m_toolRow->addWidget(slot);
    };
    button(BtnChartZoomIn, "BtnChartZoomIn");
    button(BtnChartZoomOut, "BtnChartZoomOut");
    button(BtnChartEarlier, "BtnChartEarlier");
    button(BtnChartLater, "BtnChartLater");
    button(BtnChartAll, "BtnChartAll");
    m_toolRow->addStretch(1);
    LabelChartReadings = new QLabel(this);
    LabelChartReadings->setObjectName(QStringLiteral("LabelChartReadings"));
    m_toolRow->addWidget(LabelChartReadings);
    button(BtnChartSave, "BtnChartSave");
    column->addLayout(m_toolRow);

    m_chartArea = new QWidget(this);
    m_chartArea->setObjectName(QStringLiteral("ChartArea"));
    auto* area = new QHBoxLayout(m_chartArea);
    area->setContentsMargins(0, 0, 0, 0);
    auto* lines = new QVBoxLayout;
    area->addLayout(lines, 5);
    column->addWidget(m_chartArea, 1);

    // Total voltage (left) and current (right) against time.
    m_trendChart = NewChart();
    m_trendTime = new QDateTimeAxis(m_trendChart);
    m_voltageAxis = new QValueAxis(m_trendChart);
    m_currentAxis = new QValueAxis(m_trendChart);
    m_trendChart->addAxis(m_trendTime, Qt::AlignBottom);
    m_trendChart->addAxis(m_voltageAxis, Qt::AlignLeft);
    m_trendChart->addAxis(m_currentAxis, Qt::AlignRight);
    m_voltage = AddLine(m_trendChart, m_trendTime, m_voltageAxis);
    m_current = AddLine(m_trendChart, m_trendTime, m_currentAxis);
    ChartViewTrend = NewView(m_trendChart, "ChartViewTrend", m_chartArea);
    lines->addWidget(ChartViewTrend, 1);

    // SOC (left, 0-100 %) and the lowest and highest cell (right).
    m_levelsChart = NewChart();
    m_levelsTime = new QDateTimeAxis(m_levelsChart);
    m_socAxis = new QValueAxis(m_levelsChart);
    m_cellAxis = new QValueAxis(m_levelsChart);
    m_socAxis->setRange(0, 100);
    m_socAxis->setLabelFormat(QStringLiteral("%d"));
    m_levelsChart->addAxis(m_levelsTime, Qt::AlignBottom);
    m_levelsChart->addAxis(m_socAxis, Qt::AlignLeft);
    m_levelsChart->addAxis(m_cellAxis, Qt::AlignRight);
    m_soc = AddLine(m_levelsChart, m_levelsTime, m_socAxis);
    m_lowestCell = AddLine(m_levelsChart, m_levelsTime, m_cellAxis);
    m_highestCell = AddLine(m_levelsChart, m_levelsTime, m_cellAxis);
    m_lowestCell->setColor(ColorFromBgr(ExtremeMarkBgr(ExtremeMark::Lowest)));
    m_highestCell->setColor(ColorFromBgr(ExtremeMarkBgr(ExtremeMark::Highest)));
    ChartViewLevels = NewView(m_levelsChart, "ChartViewLevels", m_chartArea);
    lines->addWidget(ChartViewLevels, 1);

    // The cells of one reading as bars: each cell stands in the set of its mark.
    m_cellsChart = NewChart();
    auto* bars = new QStackedBarSeries(m_cellsChart);
    const std::array<QColor, 3> colours = {kPlainBarColour, ColorFromBgr(ExtremeMarkBgr(ExtremeMark::Lowest)),
                                           ColorFromBgr(ExtremeMarkBgr(ExtremeMark::Highest))};
    for (std::size_t set = 0; set < m_bars.size(); ++set) {
        m_bars[set] = new QBarSet(QString(), bars);
        m_bars[set]->setColor(colours[set]);
        m_bars[set]->setBorderColor(colours[set]);
        for (int cell = 0; cell < kMaxCells; ++cell)
            m_bars[set]->append(0);
        bars->append(m_bars[set]);
    }
    m_cellsChart->addSeries(bars);
    auto* cellNumbers = new QBarCategoryAxis(m_cellsChart);
    for (int cell = 1; cell <= kMaxCells; ++cell)
        cellNumbers->append(QString::number(cell));
    // Two digits must fit the width of a bar, or the axis elides them.
    QFont numbersFont = cellNumbers->labelsFont();
    numbersFont.setPixelSize(10);
    cellNumbers->setLabelsFont(numbersFont);
    m_barAxis = new QValueAxis(m_cellsChart);
    m_barAxis->setLabelFormat(QStringLiteral("%d"));
    m_cellsChart->addAxis(cellNumbers, Qt::AlignBottom);
    m_cellsChart->addAxis(m_barAxis, Qt::AlignLeft);
    bars->attachAxis(cellNumbers);
    bars->attachAxis(m_barAxis);
    m_cellsChart->legend()->markers(bars).front()->setVisible(false);
    ChartViewCells = NewView(m_cellsChart, "ChartViewCells", m_chartArea);
    area->addWidget(ChartViewCells, 4);

    for (TChartView* view : {ChartViewTrend, ChartViewLevels}) {
        view->setRubberBand(QChartView::HorizontalRubberBand);
        view->onWheel = [this](double factor, double anchor) { ZoomBy(factor, anchor); };
    }
    for (QDateTimeAxis* axis : {m_trendTime, m_levelsTime}) {
        axis->setTickCount(6);
        connect(axis, &QDateTimeAxis::rangeChanged, this, [this, axis] { AdoptAxisRange(axis); });
    }
    connect(BtnChartZoomIn, &QPushButton::clicked, this, [this] { ZoomBy(0.5); });
    connect(BtnChartZoomOut, &QPushButton::clicked, this, [this] { ZoomBy(2.0); });
    connect(BtnChartEarlier, &QPushButton::clicked, this, [this] { PanBy(-0.25); });
    connect(BtnChartLater, &QPushButton::clicked, this, [this] { PanBy(0.25); });
    connect(BtnChartAll, &QPushButton::clicked, this, &TReadingChart::ShowAll);
    connect(BtnChartSave, &QPushButton::clicked, this, &TReadingChart::SaveAsPng);

    ShowCells(m_cells);
    ApplyLanguage();
    ShowAll();
}

void TReadingChart::ApplyLanguage()
{
    BtnChartZoomIn->setText(Text(TextId::kChartZoomIn));
    BtnChartZoomOut->setText(Text(TextId::kChartZoomOut));
    BtnChartEarlier->setText(Text(TextId::kChartEarlier));
    BtnChartLater->setText(Text(TextId::kChartLater));
    BtnChartAll->setText(Text(TextId::kChartShowAll));
    BtnChartSave->setText(Text(TextId::kChartSavePng));
    LabelChartReadings->setText(Text(TextId::kChartReadings).arg(m_points.size()));
    m_voltage->setName(Text(TextId::kChartVoltage));
    m_current->setName(Text(TextId::kChartCurrent));
    m_soc->setName(Text(TextId::kChartSoc));
    m_lowestCell->setName(Text(TextId::kChartLowestCell));
    m_highestCell->setName(Text(TextId::kChartHighestCell));
    m_bars[1]->setLabel(Text(TextId::kChartLowestCell));
    m_bars[2]->setLabel(Text(TextId::kChartHighestCell));
    m_voltageAxis->setTitleText(Text(TextId::kChartVoltage));
    m_currentAxis->setTitleText(Text(TextId::kChartCurrent));
    m_socAxis->setTitleText(Text(TextId::kChartSoc));
    m_cellAxis->setTitleText(Text(TextId::kChartCellMv));
    m_trendTime->setTitleText(Text(TextId::kChartTime));
    m_levelsTime->setTitleText(Text(TextId::kChartTime));
    ShowCells(m_cells);
}

// ---- Points.

void TReadingChart::AppendPoints(std::span<const RReadingPoint> points)
{
    if (points.empty())
        return;
    m_points.insert(m_points.end(), points.begin(), points.end());
    LabelChartReadings->setText(Text(TextId::kChartReadings).arg(m_points.size()));
    if (m_follow)
        ApplyRange();
    else
        Redraw();
}

void TReadingChart::DropOldest(std::size_t count)
{
    count = std::min(count, m_points.size());
    if (count == 0)
        return;
    m_points.erase(m_points.begin(), m_points.begin() + std::ptrdiff_t(count));
    LabelChartReadings->setText(Text(TextId::kChartReadings).arg(m_points.size()));
    ApplyRange();
}

void TReadingChart::ClearPoints()
{
    m_points.clear();
    LabelChartReadings->setText(Text(TextId::kChartReadings).arg(0));
    ShowAll();
}

std::int64_t TReadingChart::NewestTime() const
{
    return m_points.empty() ? QDateTime::currentMSecsSinceEpoch() : m_points.back().timeMs;
}

std::int64_t TReadingChart::OldestTime() const
{
    return m_points.empty() ? NewestTime() - kEmptySpanMs : m_points.front().timeMs;
}

// ---- Time range.

void TReadingChart::ShowAll()
{
    m_showAll = true;
    m_follow = true;
    ApplyRange();
}

void TReadingChart::ShowRange(std::int64_t start, std::int64_t end)
{
    if (end - start < kMinSpanMs) {
        const std::int64_t middle = start + (end - start) / 2;
        start = middle - kMinSpanMs / 2;
        end = start + kMinSpanMs;
    }
    m_showAll = false;
    m_follow = end >= NewestTime();
    m_viewStart = start;
    m_viewEnd = end;
    ApplyRange();
}

void TReadingChart::ZoomBy(double factor, double anchor)
{
    const double span = double(m_viewEnd - m_viewStart);
    const double newSpan = std::max(double(kMinSpanMs), span * factor);
    const double pivot = double(m_viewStart) + anchor * span;
    const auto start = std::int64_t(pivot - anchor * newSpan);
    const auto end = std::int64_t(pivot + (1 - anchor) * newSpan);
    // Zooming out past every point shows them all (and follows).
    if (factor > 1 && start <= OldestTime() && end >= NewestTime())
        ShowAll();
    else
        ShowRange(start, end);
}

void TReadingChart::PanBy(double fraction)
{
    const auto shift = std::int64_t(fraction * double(m_viewEnd - m_viewStart));
    ShowRange(m_viewStart + shift, m_viewEnd + shift);
}

void TReadingChart::AdoptAxisRange(QDateTimeAxis* axis)
{
    // The rubber band and the view's own zoom-out move one axis; the range
    // becomes the view's for both charts.
    if (m_settingRange)
        return;
    ShowRange(axis->min().toMSecsSinceEpoch(), axis->max().toMSecsSinceEpoch());
}

void TReadingChart::ApplyRange()
{
    if (m_showAll) {
        m_viewStart = OldestTime();
        m_viewEnd = NewestTime();
        if (m_viewEnd - m_viewStart < kMinSpanMs)
            m_viewStart = m_viewEnd - kMinSpanMs;
    } else if (m_follow) {
        const std::int64_t span = m_viewEnd - m_viewStart;
        m_viewEnd = std::max(m_viewEnd, NewestTime());
        m_viewStart = m_viewEnd - span;
    }
    const QDateTime start = QDateTime::fromMSecsSinceEpoch(m_viewStart);
    const QDateTime end = QDateTime::fromMSecsSinceEpoch(m_viewEnd);
    const bool withinDay = m_viewEnd - m_viewStart <= 24LL * 60 * 60 * 1000
        && start.date() == end.date();
    const QString format = withinDay ? QStringLiteral("hh:mm:ss") : QStringLiteral("MM-dd hh:mm");
    m_settingRange = true;
    for (QDateTimeAxis* axis : {m_trendTime, m_levelsTime}) {
        axis->setFormat(format);
        axis->setRange(start, end);
    }
    m_settingRange = false;
    Redraw();
}

void TReadingChart::Redraw()
{
    // The points in view and one beyond each edge, so that lines reach it.
    const auto before = std::lower_bound(m_points.begin(), m_points.end(), m_viewStart,
                                         [](const RReadingPoint& point, std::int64_t time) { return point.timeMs < time; });
    const auto after = std::upper_bound(m_points.begin(), m_points.end(), m_viewEnd,
                                        [](std::int64_t time, const RReadingPoint& point) { return time < point.timeMs; });
    const std::size_t first = std::size_t(std::max<std::ptrdiff_t>(0, before - m_points.begin() - 1));
    const std::size_t last = std::min(m_points.size(), std::size_t(after - m_points.begin()) + 1);
    const Drawn drawn[] = {
        {m_voltage, [](const RReadingPoint& p) { return Volts(p.voltage); }, false},
        {m_current, [](const RReadingPoint& p) { return Volts(p.current); }, false},
        {m_soc, [](const RReadingPoint& p) { return double(p.soc); }, false},
        {m_lowestCell, [](const RReadingPoint& p) { return double(p.lowestCellMv); }, true},
        {m_highestCell, [](const RReadingPoint& p) { return double(p.highestCellMv); }, true},
    };
    for (const Drawn& one : drawn)
        DrawSeries(one, m_points, first, std::max(first, last));
    FitValueAxes();
}

void TReadingChart::FitValueAxes()
{
    FitAxis(m_voltageAxis, {m_voltage}, 0.1);
    FitAxis(m_currentAxis, {m_current}, 0.5);
    FitAxis(m_cellAxis, {m_lowestCell, m_highestCell}, 5);
}

// ---- Cell bars.

void TReadingChart::ShowCells(const std::array<std::uint16_t, kMaxCells>& cells)
{
    m_cells = cells;
    const CellExtreme highest = TDevInfo::MaxCellVoltage(cells);
    const CellExtreme lowest = TDevInfo::MinCellVoltage(cells);
    for (int cell = 0; cell < kMaxCells; ++cell) {
        const std::uint16_t value = cells[std::size_t(cell)];
        const ExtremeMark mark = CellVoltageMark(value, highest, lowest);
        for (ExtremeMark set : {ExtremeMark::Plain, ExtremeMark::Lowest, ExtremeMark::Highest})
            CellBars(set)->replace(cell, set == mark ? value : 0);
    }
    if (highest.millivolts == 0) {
        m_barAxis->setRange(0, 1000);
        m_cellsChart->setTitle(Text(TextId::kChartCellSpread));
        return;
    }
    // The bars start a little below the lowest cell, so that millivolts of
    // difference show.
    const int low = std::max(0, (int(lowest.millivolts) - 20) / 10 * 10);
    const int high = (int(highest.millivolts) + 29) / 10 * 10;
    m_barAxis->setRange(low, high);
    m_barAxis->applyNiceNumbers();
    m_cellsChart->setTitle(CellVoltageCaption(Text(TextId::kChartCellSpread), highest, lowest));
}

QBarSet* TReadingChart::CellBars(ExtremeMark mark) const
{
    switch (mark) {
    case ExtremeMark::Lowest: return m_bars[1];
    case ExtremeMark::Highest: return m_bars[2];
    case ExtremeMark::Plain: break;
    }
    return m_bars[0];
}

QString TReadingChart::CellsTitle() const
{
    return m_cellsChart->title();
}

// ---- Saving.

bool TReadingChart::SaveAsPng()
{
    const QString path = FileDialogs::AskSaveFileInHome(this, Text(TextId::kChartSavePng),
                                                        Text(TextId::kChartPngFiles), QStringLiteral("png"));
    return !path.isEmpty() && SavePng(path);
}

bool TReadingChart::SavePng(const QString& path)
{
    if (m_chartArea->grab().save(path, "PNG"))
        return true;
    MessageBoxes::Warn(this, Text(TextId::kTrafficCannotWrite).arg(QDir::toNativeSeparators(path)));
    return false;
}
