#pragma once

// The arithmetic behind the overview grids, kept free of widgets so it can be
// checked on its own: colour values, where a cell's text goes, and which
// values of a reading are the extremes that get coloured.

#include "protocol/records.h"

#include <QColor>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <cstdint>

// Colours are written the way the packs' tools have always written them:
// 24-bit blue-green-red, 0xBBGGRR.
inline constexpr std::uint32_t kBgrRed = 0x0000FF;
inline constexpr std::uint32_t kBgrGreen = 0x008000;
inline constexpr std::uint32_t kBgrBlack = 0x000000;
inline constexpr std::uint32_t kBgrTeal = 0x808000;
inline constexpr std::uint32_t kBgrBlue = 0xFF0000;
inline constexpr std::uint32_t kBgrOddRow = 0xFFEBDF;   // light blue
inline constexpr std::uint32_t kBgrEvenRow = 0xE1FFF9;  // light yellow-green

QColor ColorFromBgr(std::uint32_t bgr);

// Odd rows light blue, even rows (row 0 included) light yellow-green.
std::uint32_t RowBackgroundBgr(int row);

// Right-aligned cells keep this gap to their right edge.
inline constexpr int kRightMargin = 5;
enum class CellAlign { Centre, RightWithMargin };

// Top-left corner of a text of textSize painted in cell: centred vertically,
// horizontally centred or right-aligned with the margin. Offsets are half
// the free space truncated to whole pixels.
QPoint CellTextOrigin(const QRect& cell, const QSize& textSize, CellAlign align);

// How a value in an extremes column is drawn.
enum class ExtremeMark { Plain, Highest, Lowest };
// Lowest wins when a value is both (every value equal).
ExtremeMark MarkExtreme(std::int64_t value, std::int64_t highest, std::int64_t lowest);
std::uint32_t ExtremeMarkBgr(ExtremeMark mark);
// How a cell voltage of a reading is marked, in the grid and in the chart's
// bars alike: a cell without a reading (0 mV) stays plain, every other cell
// equal to the lowest or highest is marked as MarkExtreme says.
ExtremeMark CellVoltageMark(std::uint16_t millivolts, const CellExtreme& highest, const CellExtreme& lowest);

// Highest and lowest of the six displayed temperatures (ambient, FET,
// T1..T4), each taken as the whole degrees it is shown with. The search
// starts from -40 (highest) and 255 (lowest), the ends of the wire range,
// and only a value strictly beyond the current extreme replaces it.
struct TemperatureExtremes {
    std::int32_t highest = -40;
    std::int32_t lowest = 255;
};
TemperatureExtremes FindTemperatureExtremes(const RAnalogData& record);

// A temperature as the grid shows it: whole degrees, half away from zero.
std::int32_t DisplayedTemperature(const Decimal& celsius);

// The cell-voltage group caption after a reading: title, three spaces and the
// spread highest - lowest in millivolts.
QString CellVoltageCaption(const QString& titleWithUnit, const CellExtreme& highest, const CellExtreme& lowest);
