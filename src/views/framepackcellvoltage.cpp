#include "views/framepackcellvoltage.h"

#include "protocol/decoders.h"
#include "services/text_ids.h"
#include "services/textoper.h"
#include "views/overview_frame.h"
#include "views/overview_grid.h"

#include <QGroupBox>
#include "views/overview_layout.h"

#include <array>

namespace {

constexpr int kRows = 9;
constexpr int kColumns = 8;
constexpr int kCellsPerHalf = 8;
const std::vector<int> kColumnWidths = {90, 60, 30, 95, 90, 60, 30, 95};

constexpr std::uint16_t kCaptionId = TextId::kCellVoltageCaption;
const char* const kCaptionUnit = " (mV)";

// Row-0 labels that come from the text service, by column.
struct HeadLabel {
    int column;
    std::uint16_t textId;
    const char* text;
};
constexpr std::array<HeadLabel, 4> kHeadLabels = {{
    {0, 0x6009, "最高电压"},
    {3, 0x6010, "均衡"},
    {4, 0x6008, "最低电压"},
    {7, 0x6010, "均衡"},
}};

QString CellLabel(int cell)
{
    return Decimal::fromInt(cell).format(u"V00");
}

} // namespace

class PackCellVoltageModel final : public OverviewGridModel {
public:
    explicit PackCellVoltageModel(QObject* parent)
        : OverviewGridModel(kRows, kColumns, parent)
    {
        for (const HeadLabel& label : kHeadLabels)
            m_headLabels[std::size_t(label.column)] = QString::fromUtf8(label.text);
    }

    void applyLanguage(const TTextOper& texts)
    {
        for (const HeadLabel& label : kHeadLabels)
            m_headLabels[std::size_t(label.column)] = texts.GetLanguageText(label.textId, QString::fromUtf8(label.text));
        refreshAll();
    }

    CellExtreme highest() const { return m_highest; }
    CellExtreme lowest() const { return m_lowest; }

protected:
    QString cellText(int row, int column) const override
    {
        return row == 0 ? headText(column) : cellRowText(row, column);
    }

    std::uint32_t cellTextBgr(int row, int column) const override
    {
        if (row == 0 || !hasRecords() || (column != 1 && column != 5))
            return kBgrBlack;
        const std::uint16_t value = analog().cellVoltages[std::size_t(cellIndex(row, column))];
        return ExtremeMarkBgr(CellVoltageMark(value, m_highest, m_lowest));
    }

    void recordsChanged() override
    {
        m_highest = hasRecords() ? MaxCellVoltage(analog()) : CellExtreme{};
        m_lowest = hasRecords() ? MinCellVoltage(analog()) : CellExtreme{};
    }

private:
    // Columns 0-3 hold cells 1-8, columns 4-7 cells 9-16 (0-based index).
    static int cellIndex(int row, int column) { return (column >= 4 ? kCellsPerHalf : 0) + row - 1; }

    QString headText(int column) const
    {
        if (column % 4 == 0 || column % 4 == 3)
            return m_headLabels[std::size_t(column)];
        if (!hasRecords())
            return {};
        // A value of 0 means no cell has a reading: nothing to point at.
        const CellExtreme& extreme = column < 4 ? m_highest : m_lowest;
        if (extreme.millivolts == 0)
            return {};
        return column % 4 == 1 ? QString::number(extreme.millivolts) : CellLabel(extreme.position);
    }

    QString cellRowText(int row, int column) const
    {
        const int index = cellIndex(row, column);
        const int place = column % 4;   // 0 label, 1 value, 2 limit mark, 3 balancing
        if (place == 0)
            return CellLabel(index + 1);
        if (!hasRecords())
            return {};
        // Another family's pack fills only the cells it has, and tells no
        // balancing in its live values.
        if (IsForeign(analog().family) && (place == 3 || index >= analog().extra.cellCount))
            return {};
        switch (place) {
        case 1: return QString::number(analog().cellVoltages[std::size_t(index)]);
        case 2: return StatusMark(alarm().cellStates[std::size_t(index)]);
        default: return analog().balancing[std::size_t(index)] != 0 ? QStringLiteral("ON") : QStringLiteral("OFF");
        }
    }

    std::array<QString, kColumns> m_headLabels;
    CellExtreme m_highest;
    CellExtreme m_lowest;
};

TFramePackCellVoltage::TFramePackCellVoltage(QWidget* parent)
    : QFrame(parent)
    , m_title(QString::fromUtf8(kCaptionUnit).trimmed())
{
    setObjectName(QStringLiteral("FramePackCellVoltage"));
    m_model = new PackCellVoltageModel(this);
    const OverviewFrameParts parts = BuildOverviewFrame(this, m_title, m_model, kColumnWidths);
    m_groupBox = parts.groupBox;
    m_grid = parts.grid;
    InitGrid();
}

void TFramePackCellVoltage::ApplyLanguage()
{
    const TTextOper texts;
    m_title = texts.GetLanguageText(kCaptionId) + QString::fromUtf8(kCaptionUnit);
    m_model->applyLanguage(texts);
    UpdateCaption();
}

void TFramePackCellVoltage::InitGrid()
{
    m_model->clearRecords();
    UpdateCaption();
}

void TFramePackCellVoltage::ShowData(const RAnalogData& analog, const RAlarmData& alarm)
{
    m_model->setRecords(analog, alarm);
    UpdateCaption();
}

void TFramePackCellVoltage::UpdateCaption()
{
    // A change of language keeps the spread of the reading on show.
    m_groupBox->setTitle(m_model->hasRecords() ? CellVoltageCaption(m_title, m_model->highest(), m_model->lowest())
                                               : m_title);
}

CellExtreme TFramePackCellVoltage::highest() const
{
    return m_model->highest();
}

CellExtreme TFramePackCellVoltage::lowest() const
{
    return m_model->lowest();
}
