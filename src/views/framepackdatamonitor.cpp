#include "views/framepackdatamonitor.h"

#include "services/settings.h"
#include "services/textoper.h"
#include "store/realtime_row.h"
#include "views/family_view.h"
#include "views/overview_grid.h"
#include "views/overview_layout.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QTableView>
#include <QVBoxLayout>

#include <array>
#include <optional>

namespace {

constexpr int kQuantityRows = 32;
constexpr int kFixedColumns = 3;
constexpr int kNumberWidth = 35;
constexpr int kLabelWidth = 100;
constexpr int kUnitWidth = 32;
constexpr int kPackWidth = 60;
constexpr int kFirstTemperatureRow = 13;
constexpr int kFirstCellRow = 17;

constexpr std::uint16_t kNumberHeaderId = 0x6001;
constexpr std::uint16_t kLabelHeaderId = 0x6016;
constexpr std::uint16_t kUnitHeaderId = 0x6017;

// Rows 1 to 12: the label (text id, or a fixed text when the id is 0) and
// the unit. Rows 13 to 32 are T1..T4 and V01..V16.
struct QuantityRow {
    std::uint16_t textId;
    const char* text;
    const char* unit;
};
constexpr std::array<QuantityRow, 12> kQuantityRowsHead = {{
    {0x6011, "", "V"},
    {0x6012, "", "A"},
    {0, "SOC", "%"},
    {0, "SOH", "%"},
    {0x6013, "", "Ah"},
    {0x6014, "", "Ah"},
    {0x7009, "", ""},
    {0x352C, "", "%"},
    {0x6008, "", "mV"},
    {0x6009, "", "mV"},
    {0x600A, "", "℃"},
    {0, "FET", "℃"},
}};

QString RowLabel(int row, const TTextOper& texts)
{
    if (row < kFirstTemperatureRow) {
        const QuantityRow& quantity = kQuantityRowsHead[std::size_t(row - 1)];
        return quantity.textId != 0 ? texts.GetLanguageText(quantity.textId) : QString::fromUtf8(quantity.text);
    }
    if (row < kFirstCellRow)
        return QStringLiteral("T%1").arg(row - kFirstTemperatureRow + 1);
    return QStringLiteral("V%1").arg(row - kFirstCellRow + 1, 2, 10, QLatin1Char('0'));
}

QString RowUnit(int row)
{
    if (row < kFirstTemperatureRow)
        return QString::fromUtf8(kQuantityRowsHead[std::size_t(row - 1)].unit);
    return row < kFirstCellRow ? QStringLiteral("℃") : QStringLiteral("mV");
}

// The value of quantity row `row` (1..32) of another family's reading: every
// total it sends, SOC and SOH only where its layout has them, and its
// temperatures by what they measure (a board sensor has no row here; the
// temperature rows' tool tip lists them all).
QString ForeignRowValue(int row, const RAnalogData& analog)
{
    const auto temperature = [](const std::optional<Decimal>& celsius) {
        return celsius ? celsius->format(u"0.0") : QString();
    };
    switch (row) {
    case 1: return analog.totalVoltage.format(u"0.000");
    case 2: return analog.current.format(u"0.000");
    case 3: return PercentText(StateOfCharge(analog));
    case 4: return PercentText(StateOfHealth(analog));
    case 5: return analog.remainingCapacity.format(u"0.000");
    case 6: return analog.fullCapacity.format(u"0.000");
    case 7: return QString::number(analog.cycleCount);
    case 8: return {};   // no family sends humidity
    case 9: return LiveExtremeText(MinCellVoltage(analog));
    case 10: return LiveExtremeText(MaxCellVoltage(analog));
    case 11: return temperature(FamilyTemperature(analog, TemperatureRole::Ambient));
    case 12: return temperature(FamilyTemperature(analog, TemperatureRole::Mosfet));
    default: break;
    }
    if (row < kFirstCellRow)
        return temperature(FamilyCellSensor(analog, row - kFirstTemperatureRow));
    const int cell = row - kFirstCellRow;
    return cell < analog.extra.cellCount ? QString::number(analog.cellVoltages[std::size_t(cell)]) : QString();
}

QString TemperatureListTip(const RAnalogData& analog)
{
    QStringList lines;
    for (const RNamedTemperature& named : NamedTemperatures(analog, RAlarmData{}, TTextOper()))
        lines << named.name + QStringLiteral(": ") + named.celsius.format(u"0.0") + QStringLiteral(" ℃");
    return lines.join(QLatin1Char('\n'));
}

// The value of quantity row `row` (1..32) of a reading.
QString RowValue(int row, const RAnalogData& analog)
{
    if (IsForeign(analog.family))
        return ForeignRowValue(row, analog);
    // A field the pack's answer did not carry stays blank.
    using F = AnalogField;
    constexpr std::array<F, 12> kRowFields = {F::Voltage, F::Current, F::Soc, F::Soh, F::Remaining, F::FullCapacity,
                                              F::Cycles, F::Humidity, F::Cells, F::Cells, F::Ambient, F::Fet};
    if (row >= 1 && row <= int(kRowFields.size()) && !analog.sent(kRowFields[std::size_t(row - 1)]))
        return {};
    if (row > int(kRowFields.size()) && row < kFirstCellRow && !analog.sent(F::CellTemperatures))
        return {};
    switch (row) {
    case 1: return analog.totalVoltage.format(u"0.000");
    case 2: return analog.current.format(u"0.000");
    case 3: return QString::number(analog.soc);
    case 4: return QString::number(analog.soh);
    case 5: return analog.remainingCapacity.format(u"0.000");
    case 6: return analog.fullCapacity.format(u"0.000");
    case 7: return QString::number(analog.cycleCount);
    case 8: return QString::number(analog.humidity);
    case 9: return LiveExtremeText(MinCellVoltage(analog));
    case 10: return LiveExtremeText(MaxCellVoltage(analog));
    case 11: return analog.ambientTemperature.format(u"0.0");
    case 12: return analog.fetTemperature.format(u"0.0");
    default: break;
    }
    if (row < kFirstCellRow)
        return analog.cellTemperatures[std::size_t(row - kFirstTemperatureRow)].format(u"0.0");
    return QString::number(analog.cellVoltages[std::size_t(row - kFirstCellRow)]);
}

} // namespace

// Rows 0..31 are the grid's quantity rows 1..32 (the header row is the
// view's header); columns are number, label, unit and one per pack.
class PackMonitorModel final : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : kQuantityRows; }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : kFixedColumns + m_packCount;
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid())
            return {};
        const int row = index.row() + 1;
        switch (role) {
        case Qt::DisplayRole: return cellText(row, index.column());
        case Qt::BackgroundRole: return ColorFromBgr(RowBackgroundBgr(row));
        case Qt::ForegroundRole: return ColorFromBgr(kBgrBlack);
        case OverviewGridModel::kCellAlignRole: return static_cast<int>(CellAlign::Centre);
        case Qt::ToolTipRole: return toolTip(row, index.column());
        default: return {};
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section >= m_headers.size())
            return QAbstractTableModel::headerData(section, orientation, role);
        // Another maker's pack says its family beside its number.
        if (section >= kFixedColumns) {
            const auto& record = m_columns[std::size_t(section - kFixedColumns)];
            if (record && IsForeign(record->family))
                return m_headers[section] + QLatin1Char(' ') + FamilyName(record->family);
        }
        return m_headers[section];
    }

    void rebuild(int packCount, const TTextOper& texts)
    {
        beginResetModel();
        m_packCount = packCount;
        m_headers = {texts.GetLanguageText(kNumberHeaderId), texts.GetLanguageText(kLabelHeaderId),
                     texts.GetLanguageText(kUnitHeaderId)};
        for (int pack = 1; pack <= packCount; ++pack)
            m_headers << QStringLiteral("PackNo.%1").arg(pack, 2, 10, QLatin1Char('0'));
        for (int row = 1; row <= kQuantityRows; ++row)
            m_labels[std::size_t(row - 1)] = RowLabel(row, texts);
        m_columns.fill(std::nullopt);
        endResetModel();
    }

    void showColumn(const RAnalogData& analog)
    {
        int cellSum = 0;
        for (std::uint16_t millivolts : analog.cellVoltages)
            cellSum += millivolts;
        if (analog.packNumber < 1 || analog.packNumber > kMaxPacks)
            return;
        auto& column = m_columns[std::size_t(analog.packNumber - 1)];
        if (cellSum > 0)
            column = analog;
        else
            column.reset();
        const int gridColumn = analog.packNumber + 2;
        if (gridColumn < columnCount()) {
            emit dataChanged(index(0, gridColumn), index(kQuantityRows - 1, gridColumn));
            emit headerDataChanged(Qt::Horizontal, gridColumn, gridColumn);
        }
    }

private:
    QString toolTip(int row, int column) const
    {
        if (column < kFixedColumns || row < kFirstTemperatureRow - 2 || row >= kFirstCellRow)
            return {};
        const auto& record = m_columns[std::size_t(column - kFixedColumns)];
        return record && IsForeign(record->family) ? TemperatureListTip(*record) : QString();
    }

    QString cellText(int row, int column) const
    {
        switch (column) {
        case 0: return QString::number(row);
        case 1: return m_labels[std::size_t(row - 1)];
        case 2: return RowUnit(row);
        default: break;
        }
        const auto& record = m_columns[std::size_t(column - kFixedColumns)];
        return record ? RowValue(row, *record) : QString();
    }

    int m_packCount = 0;
    QStringList m_headers;
    std::array<QString, kQuantityRows> m_labels;
    std::array<std::optional<RAnalogData>, kMaxPacks> m_columns;
};

TFramePackDataMonitor::TFramePackDataMonitor(QWidget* parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("FramePackDataMonitor"));
    m_model = new PackMonitorModel(this);
    StringGrid1 = new QTableView(this);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->setModel(m_model);
    StringGrid1->setItemDelegate(new OverviewCellDelegate(StringGrid1));
    StringGrid1->verticalHeader()->hide();
    StringGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    StringGrid1->verticalHeader()->setDefaultSectionSize(20);
    StringGrid1->horizontalHeader()->setHighlightSections(false);
    StringGrid1->setSelectionMode(QAbstractItemView::NoSelection);
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(StringGrid1);
    InitGrid();
}

void TFramePackDataMonitor::InitGrid()
{
    const int packCount = std::clamp(int(Globals().PackCount.load()), 1, kMaxPacks);
    m_model->rebuild(packCount, TTextOper());
    SetFittingColumnWidth(StringGrid1, 0, kNumberWidth);
    SetFittingColumnWidth(StringGrid1, 1, kLabelWidth);
    SetFittingColumnWidth(StringGrid1, 2, kUnitWidth);
    // The widest value a pack column shows: an extreme with its cell.
    const QString widest = QStringLiteral("3300>16");
    for (int column = kFixedColumns; column < kFixedColumns + packCount; ++column)
        SetFittingColumnWidth(StringGrid1, column, kPackWidth, widest);
}

void TFramePackDataMonitor::ShowPackColumn(const RAnalogData& analog)
{
    m_model->showColumn(analog);
}
