#include "views/framepacktemperature.h"

#include "protocol/decoders.h"
#include "services/text_ids.h"
#include "services/textoper.h"
#include "views/family_view.h"
#include "views/overview_frame.h"
#include "views/overview_grid.h"

#include <QGroupBox>
#include <QTableView>

#include <algorithm>

namespace {

constexpr int kRows = 3;
constexpr int kColumns = 6;
constexpr int kRowHeight = 20;
const std::vector<int> kColumnWidths = {78, 45, 30, 78, 45, 30};

constexpr std::uint16_t kCaptionId = TextId::kTemperatureCaption;
constexpr std::uint16_t kAmbientId = 0x600A;
const char* const kDefaultAmbient = "环境温度";
const char* const kCaptionUnit = " (℃)";

// Sensor shown in rows 1 and 2: columns 0-2 hold T1 and T2, columns 3-5 hold
// T3 and T4.
int SensorIndex(int row, int column)
{
    return (column >= 3 ? 2 : 0) + (row - 1);
}

} // namespace

class PackTemperatureModel final : public OverviewGridModel {
public:
    explicit PackTemperatureModel(QObject* parent)
        : OverviewGridModel(kRows, kColumns, parent)
        , m_ambientLabel(QString::fromUtf8(kDefaultAmbient))
    {
    }

    void applyLanguage(const TTextOper& texts)
    {
        m_ambientLabel = texts.GetLanguageText(kAmbientId, QString::fromUtf8(kDefaultAmbient));
        refreshAll();
    }

    TemperatureExtremes extremes() const { return m_extremes; }

protected:
    QString cellText(int row, int column) const override
    {
        const int place = column % 3;   // 0 label, 1 value, 2 limit mark
        if (!m_named.empty())
            return namedCellText(row, column, place);
        if (row == 0) {
            if (place == 0)
                return column == 0 ? m_ambientLabel : QStringLiteral("FET");
            if (place == 2 || !hasRecords())
                return {};
            return formatted(column == 1 ? analog().ambientTemperature : analog().fetTemperature);
        }
        const int sensor = SensorIndex(row, column);
        if (place == 0)
            return Decimal::fromInt(sensor + 1).format(u"T00");
        if (!hasRecords())
            return {};
        if (place == 1)
            return formatted(analog().cellTemperatures[std::size_t(sensor)]);
        return StatusMark(alarm().temperatureStates[std::size_t(sensor)]);
    }

    std::uint32_t cellTextBgr(int row, int column) const override
    {
        if (!hasRecords() || (column != 1 && column != 4))
            return kBgrBlack;
        if (!m_named.empty()) {
            const RNamedTemperature* named = namedAt(row, column);
            return named ? ExtremeMarkBgr(MarkExtreme(DisplayedTemperature(named->celsius), m_extremes.highest,
                                                      m_extremes.lowest))
                         : kBgrBlack;
        }
        const Decimal value = row == 0 ? (column == 1 ? analog().ambientTemperature : analog().fetTemperature)
                                       : analog().cellTemperatures[std::size_t(SensorIndex(row, column))];
        return ExtremeMarkBgr(MarkExtreme(DisplayedTemperature(value), m_extremes.highest, m_extremes.lowest));
    }

    void recordsChanged() override
    {
        // Another family's pack shows every temperature it sends under its
        // own name, two to a row; ours keeps its fixed places.
        m_named.clear();
        if (hasRecords() && IsForeign(analog().family))
            m_named = NamedTemperatures(analog(), alarm(), TTextOper());
        setRowCount(std::max(kRows, int(m_named.size() + 1) / 2));
        if (m_named.empty()) {
            m_extremes = hasRecords() ? FindTemperatureExtremes(analog()) : TemperatureExtremes{};
            return;
        }
        m_extremes = {DisplayedTemperature(m_named.front().celsius), DisplayedTemperature(m_named.front().celsius)};
        for (const RNamedTemperature& named : m_named) {
            m_extremes.highest = std::max(m_extremes.highest, DisplayedTemperature(named.celsius));
            m_extremes.lowest = std::min(m_extremes.lowest, DisplayedTemperature(named.celsius));
        }
    }

private:
    const RNamedTemperature* namedAt(int row, int column) const
    {
        const std::size_t slot = std::size_t(row * 2 + (column >= 3 ? 1 : 0));
        return slot < m_named.size() ? &m_named[slot] : nullptr;
    }

    QString namedCellText(int row, int column, int place) const
    {
        const RNamedTemperature* named = namedAt(row, column);
        if (!named)
            return {};
        switch (place) {
        case 0: return named->name;
        case 1: return formatted(named->celsius);
        default: return StatusMark(named->state);
        }
    }

    static QString formatted(const Decimal& celsius) { return celsius.format(u"0"); }

    QString m_ambientLabel;
    TemperatureExtremes m_extremes;
    std::vector<RNamedTemperature> m_named;
};

TFramePackTemperature::TFramePackTemperature(QWidget* parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("FramePackTemperature"));
    m_model = new PackTemperatureModel(this);
    const OverviewFrameParts parts = BuildOverviewFrame(this, QString::fromUtf8(kCaptionUnit).trimmed(), m_model, kColumnWidths);
    m_groupBox = parts.groupBox;
    m_grid = parts.grid;
    InitGrid();
}

void TFramePackTemperature::ApplyLanguage()
{
    const TTextOper texts;
    m_groupBox->setTitle(texts.GetLanguageText(kCaptionId) + QString::fromUtf8(kCaptionUnit));
    m_model->applyLanguage(texts);
}

void TFramePackTemperature::InitGrid()
{
    m_model->clearRecords();
    m_grid->setMinimumHeight(m_model->rowCount() * kRowHeight + 2 * m_grid->frameWidth());
}

void TFramePackTemperature::ShowData(const RAnalogData& analog, const RAlarmData& alarm)
{
    m_model->setRecords(analog, alarm);
    // More than six temperatures of another family take more rows.
    m_grid->setMinimumHeight(m_model->rowCount() * kRowHeight + 2 * m_grid->frameWidth());
}

TemperatureExtremes TFramePackTemperature::extremes() const
{
    return m_model->extremes();
}
