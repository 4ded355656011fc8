// The configuration page's right column: the six calibration rows and the
// product texts.

#include "views/framepackconfig.h"

#include "services/input_text.h"
#include "services/text_ids.h"
#include "services/textoper.h"
#include "store/calibration_items.h"
#include "store/config_checks.h"
#include "store/devinfo.h"
#include "views/comboboxext.h"
#include "views/page_command.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kValueWidth = 80;
constexpr int kTemperatureRow = 5;
constexpr std::uint16_t kCalibrateText = 0x701F;
constexpr std::uint16_t kResetText = 0x7020;

// One calibration row: the item it sends (a row of the calibration items;
// the temperature row takes its item code from the sensor list), and the
// names of its controls.
struct CalibrationSpec {
    std::size_t itemRow;   // in kCalibrationItems
    const char* label;
    std::uint16_t labelTextId;
    const char* firstEdit;
    const char* secondEdit;
    const char* suffix;   // of BtnRead…, BtnCalibration…, BtnReset…
};
constexpr std::array<CalibrationSpec, TFramePackConfig::kCalibrationRows> kCalibrationSpecs = {{
    {0, "Label23", 0x7021, "Edit18", "Edit13", "VoltageReference"},
    {1, "Label24", 0x7022, "Edit19", "Edit14", "VoltagePack"},
    {2, "Label25", 0x7023, "Edit20", "Edit15", "CurrentCharging"},
    {3, "Label26", 0x7024, "Edit21", "Edit16", "CurrentZero"},
    {4, "Label27", 0x7025, "Edit22", "Edit17", "CurrentDischarge"},
    {5, nullptr, 0, "Edit23", "Edit24", "Temperature"},
}};

const RCalibrationItem& ItemOf(int row)
{
    return kCalibrationItems[kCalibrationSpecs[std::size_t(row)].itemRow];
}

QString UnitText(CalibrationUnit unit)
{
    switch (unit) {
    case CalibrationUnit::Millivolt: return QStringLiteral("(mV)");
    case CalibrationUnit::Milliampere: return QStringLiteral("(mA)");
    case CalibrationUnit::Celsius: break;
    }
    return QStringLiteral("(\u2103)");
}

// The product rows in wire order: label, its text id and the entry field.
struct ProductSpec {
    const char* label;
    std::uint16_t labelTextId;
    const char* edit;
};
constexpr std::array<ProductSpec, TFramePackConfig::kProductRows> kProductSpecs = {{
    {"Label33", 0x7031, "Edit25"},
    {"Label40", 0x703F, "Edit31"},
    {"Label35", 0x7032, "Edit26"},
    {"Label36", 0x7033, "Edit27"},
    {"Label37", 0x7034, "Edit28"},
    {"Label38", 0x7035, "Edit29"},
    {"Label39", 0x7036, "Edit30"},
}};

QString Text(std::uint16_t id)
{
    return TTextOper().GetLanguageText(id);
}

QString Named(const char* prefix, const char* suffix)
{
    return QLatin1String(prefix) + QLatin1String(suffix);
}

} // namespace

QWidget* TFramePackConfig::BuildRightColumn()
{
    auto* column = new QWidget(this);
    auto* stack = new QVBoxLayout(column);
    stack->setContentsMargins(0, 0, 0, 0);
    const std::array<std::tuple<const char*, std::uint16_t, int, int>, 3> groups = {{
        {"GroupBox10", 0x7026, 0, 1}, {"GroupBox9", 0x7027, 2, 4}, {"GroupBox11", 0x7028, 5, 5}}};
    for (const auto& [name, textId, first, last] : groups) {
        QGroupBox* group = Captioned(BuildCalibrationGroup(first, last), textId);
        group->setObjectName(QLatin1String(name));
        stack->addWidget(group);
    }
    stack->addWidget(BuildProductGroup());
    stack->addStretch(1);
    return column;
}

QGroupBox* TFramePackConfig::BuildCalibrationGroup(int firstRow, int lastRow)
{
    auto* group = new QGroupBox(this);
    auto* grid = new QGridLayout(group);
    for (int row = firstRow; row <= lastRow; ++row) {
        const CalibrationSpec& described = kCalibrationSpecs[std::size_t(row)];
        CalibrationRow& controls = m_rows[std::size_t(row)];
        const int line = row - firstRow;
        if (row == kTemperatureRow) {
            ComboBoxExt1 = new TComboBoxExt(group);
            ComboBoxExt1->setObjectName(QStringLiteral("ComboBoxExt1"));
            grid->addWidget(ComboBoxExt1, line, 0);
        } else {
            auto* label = Captioned(new QLabel(group), described.labelTextId);
            label->setObjectName(QLatin1String(described.label));
            grid->addWidget(label, line, 0);
        }
        controls.first = new QLineEdit(group);
        controls.first->setObjectName(QLatin1String(described.firstEdit));
        controls.first->setEnabled(false);
        controls.first->setFixedWidth(kValueWidth);
        const QString allowed = row == kTemperatureRow ? QStringLiteral("0123456789-.") : QStringLiteral("0123456789-");
        controls.second = NumberEdit(described.secondEdit, 0, allowed);
        controls.second->setFixedWidth(kValueWidth);
        grid->addWidget(controls.first, line, 1);
        grid->addWidget(controls.second, line, 2);
        grid->addWidget(new QLabel(UnitText(ItemOf(row).unit), group), line, 3);

        controls.read = Button(qPrintable(Named("BtnRead", described.suffix)), TextId::kRead, nullptr);
        controls.calibrate = Button(qPrintable(Named("BtnCalibration", described.suffix)), kCalibrateText, nullptr);
        controls.reset = Button(qPrintable(Named("BtnReset", described.suffix)), kResetText, nullptr);
        connect(controls.read, &QPushButton::clicked, this, [this, row] { ReadCalibrationItem(row, true); });
        connect(controls.calibrate, &QPushButton::clicked, this, [this, row] { BtnCalibrationClick(row); });
        connect(controls.reset, &QPushButton::clicked, this, [this, row] { BtnResetClick(row); });
        grid->addWidget(controls.read, line, 4);
        grid->addWidget(controls.calibrate, line, 5);
        grid->addWidget(controls.reset, line, 6);
        m_writeControls.insert(m_writeControls.end(), {controls.calibrate, controls.reset});
    }
    return group;
}

QGroupBox* TFramePackConfig::BuildProductGroup()
{
    auto* group = Captioned(new QGroupBox(this), 0x7030);
    group->setObjectName(QStringLiteral("GroupBox13"));
    auto* grid = new QGridLayout(group);
    for (std::size_t i = 0; i < kProductSpecs.size(); ++i) {
        const ProductSpec& described = kProductSpecs[i];
        auto* label = Captioned(new QLabel(group), described.labelTextId);
        label->setObjectName(QLatin1String(described.label));
        auto* edit = new QLineEdit(group);
        edit->setObjectName(QLatin1String(described.edit));
        // No length limit: a longer text is refused when written, not cut.
        grid->addWidget(label, int(i), 0);
        grid->addWidget(edit, int(i), 1, 1, 2);
        m_productEdits[i] = edit;
    }
    QPushButton* write = Button("BtnWriteProduct", TextId::kWrite, &TFramePackConfig::BtnWriteProductClick);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button("BtnReadProduct", TextId::kRead, &TFramePackConfig::BtnReadProductClick));
    buttons->addWidget(write);
    grid->addLayout(buttons, int(kProductSpecs.size()), 0, 1, 3);
    grid->addWidget(OriginLabel(GroupProduct, group), int(kProductSpecs.size()) + 1, 0, 1, 3);
    m_writeControls.push_back(write);
    return group;
}

std::uint8_t TFramePackConfig::CalibrationItem(int row) const
{
    if (row == kTemperatureRow)
        return std::uint8_t(ComboBoxExt1->selectedValue().toInt());
    return ItemOf(row).item;
}

void TFramePackConfig::ClearCalibrationRow(int row)
{
    m_rows[std::size_t(row)].first->clear();
    m_rows[std::size_t(row)].second->clear();
}

void TFramePackConfig::ShowCalibrationRead(int row, const CalibrationExchange& exchange)
{
    if (exchange.readResult != 0) {
        ClearCalibrationRow(row);
    } else {
        // Whole numbers: a temperature of 25.6 shows as 26.
        m_rows[std::size_t(row)].first->setText(exchange.first.format(u"0"));
        m_rows[std::size_t(row)].second->setText(exchange.second.format(u"0"));
    }
}

void TFramePackConfig::RunCalibration(int row, std::optional<std::pair<Decimal, Decimal>> write, bool reset,
                                      bool report)
{
    const std::uint8_t kind = ItemOf(row).kind;
    m_command->Run<CalibrationExchange>(
        m_store,
        [address = Address(), pack = Pack(), kind, item = CalibrationItem(row), write, reset](TDevInfo& store) {
            CalibrationExchange exchange;
            if (write || reset) {
                exchange.writeResult = reset ? store.WriteCalibration(address, pack, kind, item, true, Decimal(), Decimal())
                                             : store.WriteCalibration(address, pack, kind, item, false, write->first,
                                                                      write->second);
                // The row shows what the pack holds after a success.
                if (exchange.writeResult != 0)
                    return exchange;
            }
            exchange.readResult = store.ReadCalibration(address, pack, kind, item, exchange.first, exchange.second);
            return exchange;
        },
        [this, row, written = write || reset, report](const CalibrationExchange& exchange) {
            if (written) {
                if (exchange.writeResult == 0)
                    ShowCalibrationRead(row, exchange);
                Report(exchange.writeResult);
                return;
            }
            ShowCalibrationRead(row, exchange);
            if (report)
                Report(exchange.readResult);
        });
}

void TFramePackConfig::ReadCalibrationItem(int row, bool report)
{
    if (!PortIsOpen())
        return;
    RunCalibration(row, std::nullopt, false, report);
}

void TFramePackConfig::BtnCalibrationClick(int row)
{
    const CalibrationRow& controls = m_rows[std::size_t(row)];
    if (!PortIsOpen() || !Given(controls.first) || !Given(controls.second))
        return;
    std::array<Decimal, 2> values;
    const std::array<const QLineEdit*, 2> edits = {controls.first, controls.second};
    for (std::size_t i = 0; i < edits.size(); ++i) {
        CalibrationValueError error = CalibrationValueError::None;
        const QString text = edits[i]->text();
        const std::optional<Decimal> value = CheckCalibrationValue(ItemOf(row).kind, text, error);
        if (!value) {
            const std::uint16_t message = error == CalibrationValueError::NotANumber   ? TextId::kNotANumber
                                          : error == CalibrationValueError::NotWhole   ? TextId::kCalibrationNotWhole
                                          : error == CalibrationValueError::TooManyDecimals
                                              ? TextId::kCalibrationDecimals
                                              : TextId::kCalibrationOutOfRange;
            Inform(Text(message).arg(QuotedInput(text.trimmed())));
            return;
        }
        values[i] = *value;
    }
    if (!Confirmed(0x7029))
        return;
    RunCalibration(row, std::make_pair(values[0], values[1]), false, true);
}

void TFramePackConfig::BtnResetClick(int row)
{
    const CalibrationRow& controls = m_rows[std::size_t(row)];
    if (!PortIsOpen() || !Given(controls.first) || !Given(controls.second) || !Confirmed(0x702A))
        return;
    RunCalibration(row, std::nullopt, true, true);
}

void TFramePackConfig::BtnReadProductClick()
{
    if (!PortIsOpen())
        return;
    RProductInfo blank;
    TDevInfo::ClearProductInfo(blank);
    m_command->Read<RProductInfo>(
        m_store, blank,
        [address = Address(), pack = Pack()](TDevInfo& store, RProductInfo& info) {
            return store.ReadProductInfo(address, pack, info);
        },
        [this](std::uint8_t result, const RProductInfo& info) {
            for (std::size_t i = 0; i < kProductFields.size(); ++i)
                m_productEdits[i]->setText(result == 0 ? (info.*kProductFields[i].field).trimmed() : QString());
            NoteValuesFrom(GroupProduct, result == 0);
            Report(result);
        });
}

void TFramePackConfig::BtnWriteProductClick()
{
    if (!PortIsOpen())
        return;
    RProductInfo info;
    for (std::size_t i = 0; i < kProductFields.size(); ++i)
        info.*kProductFields[i].field = m_productEdits[i]->text().trimmed();
    if (const std::optional<ProductField> missing = FirstMissingProductText(info)) {
        Inform(Text(missing->emptyTextId));
        return;
    }
    // A pasted text may carry control characters the pack would store as
    // they are; the message names the field by its label.
    for (std::size_t i = 0; i < kProductFields.size(); ++i) {
        const QString refused = RefusedFieldText(Text(kProductSpecs[i].labelTextId), info.*kProductFields[i].field,
                                                 kProductFields[i].maxCharacters);
        if (!refused.isEmpty()) {
            Inform(refused);
            return;
        }
    }
    if (!Confirmed(0x7037))
        return;
    // Every text fits its 30 bytes (checked above); the fields keep what
    // the user typed.
    Send([address = Address(), pack = Pack(), info](
             TDevInfo& store) { return store.WriteProductInfo(address, pack, info); },
         [this](std::uint8_t result) {
             if (Report(result))
                 NoteValuesFrom(GroupProduct, true);
         });
}
