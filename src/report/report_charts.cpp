#include "report/report_charts.h"

#include "services/textoper.h"
#include "store/report_data.h"
#include "store/report_texts.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QDateTimeAxis>
#include <QGraphicsScene>
#include <QLineSeries>
#include <QPainter>
#include <QValueAxis>

#include <algorithm>
#include <limits>

namespace {

// Draws the chart (which the scene takes over) into an image.
QImage Render(QChart* chart)
{
    const QSize size(kReportChartWidth, kReportChartHeight);
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setBackgroundRoundness(0);
    QGraphicsScene scene;
    scene.addItem(chart);
    chart->resize(size);
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    scene.render(&painter, QRectF(QPointF(0, 0), size), QRectF(QPointF(0, 0), size));
    return image;
}

} // namespace

QImage CellVoltageChart(const RPackReport& pack, const TTextOper& texts)
{
    auto* chart = new QChart;
    chart->setTitle(texts.GetLanguageText(ReportText::kCells) + QStringLiteral(" (mV)"));
    chart->legend()->hide();
    auto* set = new QBarSet(texts.GetLanguageText(ReportText::kCells));
    QStringList categories;
    int low = std::numeric_limits<int>::max();
    int high = 0;
    for (int cell = 0; cell < kMaxCells; ++cell) {
        const int mv = pack.analog.cellVoltages[std::size_t(cell)];
        *set << mv;
        categories << QString::number(cell + 1);
        if (mv > 0)
            low = std::min(low, mv);
        high = std::max(high, mv);
    }
    auto* series = new QBarSeries;
    series->append(set);
    chart->addSeries(series);
    auto* cells = new QBarCategoryAxis;
    cells->append(categories);
    chart->addAxis(cells, Qt::AlignBottom);
    series->attachAxis(cells);
    auto* volts = new QValueAxis;
    // Bars start near the lowest cell, so that a spread of a few mV shows.
    const int floor = low == std::numeric_limits<int>::max() ? 0 : std::max(0, (low - 50) / 50 * 50);
    volts->setRange(floor, std::max(high + 20, floor + 100));
    volts->setLabelFormat(QStringLiteral("%d"));
    chart->addAxis(volts, Qt::AlignLeft);
    series->attachAxis(volts);
    return Render(chart);
}

QImage WorkDataChart(const RPackReport& pack, const TTextOper& texts)
{
    const std::vector<RWorkPoint>& points = pack.workLog.points;
    if (points.empty())
        return QImage();
    auto* chart = new QChart;
    chart->setTitle(texts.GetLanguageText(ReportText::kVoltageCurrentChart));
    auto* voltage = new QLineSeries;
    voltage->setName(texts.GetLanguageText(ReportText::kPackVoltage) + QStringLiteral(" (V)"));
    auto* current = new QLineSeries;
    current->setName(texts.GetLanguageText(ReportText::kCurrent) + QStringLiteral(" (A)"));
    qint64 first = std::numeric_limits<qint64>::max();
    qint64 last = std::numeric_limits<qint64>::min();
    for (const RWorkPoint& point : points) {
        const QDateTime when = DeviceDateTime(point.time);
        if (!when.isValid())
            continue;
        const qint64 ms = when.toMSecsSinceEpoch();
        first = std::min(first, ms);
        last = std::max(last, ms);
        voltage->append(double(ms), point.voltage.toDouble());
        current->append(double(ms), point.current.toDouble());
    }
    if (voltage->count() == 0) {
        delete chart;
        delete voltage;
        delete current;
        return QImage();
    }
    chart->addSeries(voltage);
    chart->addSeries(current);
    auto* time = new QDateTimeAxis;
    time->setFormat(QStringLiteral("MM-dd hh:mm"));
    time->setRange(QDateTime::fromMSecsSinceEpoch(first), QDateTime::fromMSecsSinceEpoch(std::max(last, first + 1000)));
    chart->addAxis(time, Qt::AlignBottom);
    voltage->attachAxis(time);
    current->attachAxis(time);
    auto* volts = new QValueAxis;
    volts->setTitleText(QStringLiteral("V"));
    chart->addAxis(volts, Qt::AlignLeft);
    voltage->attachAxis(volts);
    auto* amps = new QValueAxis;
    amps->setTitleText(QStringLiteral("A"));
    chart->addAxis(amps, Qt::AlignRight);
    current->attachAxis(amps);
    return Render(chart);
}
