#include "views/framepackinfo.h"

#include "protocol/decoders.h"
#include "services/text_ids.h"
#include "services/textoper.h"
#include "views/family_view.h"
#include "views/overview_frame.h"
#include "views/overview_grid.h"

#include <QGroupBox>

#include <array>

namespace {

constexpr int kRows = 8;
constexpr int kColumns = 4;
const std::vector<int> kColumnWidths = {110, 60, 35, 30};

constexpr std::uint16_t kCaptionId = TextId::kBatteryInfo;
const char* const kDefaultCaption = "电池信息";

// Row labels; rows with an id take their text from the text service.
struct RowLabel {
    std::uint16_t textId;   // 0: fixed text
    const char* text;       // default (Simplified Chinese) or fixed text
    const char* unit;
};
constexpr std::array<RowLabel, kRows> kRowLabels = {{
    {0x6011, "总电压", "V"},
    {0x6012, "总电流", "A"},
    {0, "SOC", "%"},
    {0, "SOH", "%"},
    {0x6013, "剩余容量", "Ah"},
    {0x6014, "满充容量", "Ah"},
    {0x6015, "充放循环", ""},
    {0, "", ""},   // another family's pack: its family
}};
constexpr int kFamilyRow = 7;

} // namespace

class PackInfoModel final : public OverviewGridModel {
public:
    explicit PackInfoModel(QObject* parent)
        : OverviewGridModel(kRows, kColumns, parent)
    {
        for (int row = 0; row < kRows; ++row)
            m_labels[std::size_t(row)] = QString::fromUtf8(kRowLabels[std::size_t(row)].text);
    }

    void applyLanguage(const TTextOper& texts)
    {
        for (int row = 0; row < kRows; ++row) {
            const RowLabel& label = kRowLabels[std::size_t(row)];
            if (label.textId != 0)
                m_labels[std::size_t(row)] = texts.GetLanguageText(label.textId, QString::fromUtf8(label.text));
        }
        refreshAll();
    }

protected:
    QString cellText(int row, int column) const override
    {
        if (row == kFamilyRow)
            return familyCellText(column);
        if (column == 0)
            return m_labels[std::size_t(row)];
        if (column == 2)
            return QString::fromUtf8(kRowLabels[std::size_t(row)].unit);
        if (!hasRecords())
            return {};
        return column == 1 ? valueText(row) : statusText(row);
    }

    CellAlign cellAlign(int /*row*/, int column) const override
    {
        return column <= 1 ? CellAlign::RightWithMargin : CellAlign::Centre;
    }

private:
    QString familyCellText(int column) const
    {
        if (!hasRecords() || !IsForeign(analog().family))
            return {};
        if (column == 0)
            return TTextOper().GetLanguageText(TextId::kFamilyCaption);
        return column == 1 ? FamilyName(analog().family) : QString();
    }

    QString valueText(int row) const
    {
        const RAnalogData& record = analog();
        const QString threeDecimals = QStringLiteral("0.000");
        if (IsForeign(record.family))
            return foreignValueText(row);
        // A field the pack's answer did not carry stays blank.
        using F = AnalogField;
        constexpr std::array<F, 7> kRowFields = {F::Voltage, F::Current, F::Soc, F::Soh, F::Remaining, F::FullCapacity, F::Cycles};
        if (row >= 0 && row < int(kRowFields.size()) && !record.sent(kRowFields[std::size_t(row)]))
            return {};
        switch (row) {
        case 0: return record.totalVoltage.format(threeDecimals);
        case 1: return record.current.format(threeDecimals);
        case 2: return QString::number(record.soc);
        case 3: return QString::number(record.soh);
        case 4: return record.remainingCapacity.format(threeDecimals);
        case 5: return record.fullCapacity.format(threeDecimals);
        case 6: return QString::number(record.cycleCount);
        default: return {};
        }
    }

    // Another family's pack sends every total; SOC and SOH only where its
    // layout has them, exact as sent.
    QString foreignValueText(int row) const
    {
        const RAnalogData& record = analog();
        const QString threeDecimals = QStringLiteral("0.000");
        switch (row) {
        case 0: return record.totalVoltage.format(threeDecimals);
        case 1: return record.current.format(threeDecimals);
        case 2: return PercentText(StateOfCharge(record));
        case 3: return PercentText(StateOfHealth(record));
        case 4: return record.remainingCapacity.format(threeDecimals);
        case 5: return record.fullCapacity.format(threeDecimals);
        case 6: return QString::number(record.cycleCount);
        default: return {};
        }
    }

    QString statusText(int row) const
    {
        // Families that send the discharge current's state apart show it
        // while the pack discharges.
        const std::optional<std::uint8_t> discharge = alarm().extra.dischargeCurrentState;
        if (row == 1 && IsForeign(alarm().family) && discharge && analog().current < Decimal())
            return StatusMark(*discharge);
        if (row == 0)
            return StatusMark(alarm().voltageState);
        // The current state is shown only while the pack is not discharging.
        if (row == 1 && analog().current >= Decimal())
            return StatusMark(alarm().currentState);
        return {};
    }

    std::array<QString, kRows> m_labels;
};

TFramePackInfo::TFramePackInfo(QWidget* parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("FramePackInfo"));
    m_model = new PackInfoModel(this);
    const OverviewFrameParts parts = BuildOverviewFrame(this, QString::fromUtf8(kDefaultCaption), m_model, kColumnWidths);
    m_groupBox = parts.groupBox;
    m_grid = parts.grid;
    InitGrid();
}

void TFramePackInfo::ApplyLanguage()
{
    const TTextOper texts;
    m_groupBox->setTitle(texts.GetLanguageText(kCaptionId, QString::fromUtf8(kDefaultCaption)));
    m_model->applyLanguage(texts);
}

void TFramePackInfo::InitGrid()
{
    m_model->clearRecords();
}

void TFramePackInfo::ShowData(const RAnalogData& analog, const RAlarmData& alarm)
{
    m_model->setRecords(analog, alarm);
}
