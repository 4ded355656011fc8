#include "views/overview_layout.h"

QColor ColorFromBgr(std::uint32_t bgr)
{
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

std::uint32_t RowBackgroundBgr(int row)
{
    return row % 2 != 0 ? kBgrOddRow : kBgrEvenRow;
}

QPoint CellTextOrigin(const QRect& cell, const QSize& textSize, CellAlign align)
{
    const int freeWidth = cell.width() - textSize.width();
    const int freeHeight = cell.height() - textSize.height();
    const int left = align == CellAlign::RightWithMargin ? cell.left() + freeWidth - kRightMargin
                                                         : cell.left() + freeWidth / 2;
    return {left, cell.top() + freeHeight / 2};
}

ExtremeMark MarkExtreme(std::int64_t value, std::int64_t highest, std::int64_t lowest)
{
    if (value == lowest)
        return ExtremeMark::Lowest;
    if (value == highest)
        return ExtremeMark::Highest;
    return ExtremeMark::Plain;
}

ExtremeMark CellVoltageMark(std::uint16_t millivolts, const CellExtreme& highest, const CellExtreme& lowest)
{
    if (millivolts == 0)
        return ExtremeMark::Plain;
    return MarkExtreme(millivolts, highest.millivolts, lowest.millivolts);
}

std::uint32_t ExtremeMarkBgr(ExtremeMark mark)
{
    switch (mark) {
    case ExtremeMark::Highest:
        return kBgrRed;
    case ExtremeMark::Lowest:
        return kBgrGreen;
    case ExtremeMark::Plain:
        break;
    }
    return kBgrBlack;
}

std::int32_t DisplayedTemperature(const Decimal& celsius)
{
    return static_cast<std::int32_t>(celsius.roundedHalfAway());
}

TemperatureExtremes FindTemperatureExtremes(const RAnalogData& record)
{
    const Decimal values[] = {record.ambientTemperature, record.fetTemperature,
                              record.cellTemperatures[0], record.cellTemperatures[1],
                              record.cellTemperatures[2], record.cellTemperatures[3]};
    TemperatureExtremes result;
    for (const Decimal& value : values) {
        const std::int32_t shown = DisplayedTemperature(value);
        if (shown > result.highest)
            result.highest = shown;
        if (shown < result.lowest)
            result.lowest = shown;
    }
    return result;
}

QString CellVoltageCaption(const QString& titleWithUnit, const CellExtreme& highest, const CellExtreme& lowest)
{
    const int spread = int(highest.millivolts) - int(lowest.millivolts);
    return titleWithUnit + QStringLiteral("   ") + QString::number(spread);
}
