#include "views/framepackalarm.h"

#include "services/text_ids.h"
#include "services/textoper.h"
#include "store/devinfo.h"
#include "views/alarm_panel_table.h"
#include "views/family_view.h"
#include "views/overview_layout.h"
#include "views/page_command.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {

QString FromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// The indicator groups are disabled, so the colour must hold in every colour
// group, the disabled one included.
void SetTextColour(QWidget* widget, std::uint32_t bgr)
{
    QPalette palette = widget->palette();
    const QColor colour = ColorFromBgr(bgr);
    palette.setColor(QPalette::All, QPalette::WindowText, colour);
    palette.setColor(QPalette::All, QPalette::ButtonText, colour);
    palette.setColor(QPalette::All, QPalette::Text, colour);
    widget->setPalette(palette);
}

QString DefaultCaptionOf(int checkBox)
{
    if (const StatusBit* bit = StatusBitOfCheckBox(checkBox))
        return FromUtf8(bit->caption);
    if (const SwitchBox* box = FindSwitchBox(checkBox))
        return FromUtf8(box->caption);
    return {};
}

} // namespace

TFramePackAlarm::TFramePackAlarm(QWidget* parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("FramePackAlarm"));
    BuildGroups();
    // The control-test group only appears when the main window offers it.
    m_groupBoxes.at(kControlTestGroupBox)->setVisible(false);
    UpdateControlTestEnabled();
}

void TFramePackAlarm::BuildGroups()
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(2);
    for (const PanelGroup& group : kPanelGroups) {
        auto* groupBox = new QGroupBox(FromUtf8(group.caption), this);
        groupBox->setObjectName(ObjectNameOfGroupBox(group.groupBox));
        groupBox->setMinimumHeight(group.height);
        m_groupBoxes[group.groupBox] = groupBox;
        auto* grid = new QGridLayout(groupBox);
        grid->setContentsMargins(6, 2, 6, 2);
        grid->setHorizontalSpacing(6);
        grid->setVerticalSpacing(0);

        int slot = 0;
        for (const std::uint8_t number : group.checkBoxes) {
            auto* box = new QCheckBox(DefaultCaptionOf(number), groupBox);
            box->setObjectName(ObjectNameOfCheckBox(number));
            m_checkBoxes[number] = box;
            if (number == kHiddenIndicatorCheckBox) {
                box->setVisible(false);
                continue;
            }
            QWidget* cell = box;
            if (number == kShortCircuitCheckBox) {
                // The counter sits just right of the short-circuit box.
                cell = new QWidget(groupBox);
                auto* row = new QHBoxLayout(cell);
                row->setContentsMargins(0, 0, 0, 0);
                row->setSpacing(4);
                box->setParent(cell);
                row->addWidget(box);
                m_shortCircuitLabel = new QLabel(cell);
                m_shortCircuitLabel->setObjectName(QStringLiteral("Label2"));
                m_shortCircuitLabel->setVisible(false);
                row->addWidget(m_shortCircuitLabel);
                row->addStretch(1);
            }
            grid->addWidget(cell, slot / group.columns, slot % group.columns);
            ++slot;
        }
        for (int column = 0; column < group.columns; ++column)
            grid->setColumnStretch(column, 1);
        outer->addWidget(groupBox);
        if (group.groupBox == kControlStateGroupBox)
            outer->addWidget(BuildFamilyGroup());

        if (group.groupBox == kControlTestGroupBox) {
            for (const std::uint8_t number : group.checkBoxes) {
                const SwitchBox* switchBox = FindSwitchBox(number);
                connect(m_checkBoxes.at(number), &QCheckBox::clicked, this,
                        [this, switchBox](bool on) { ControlTestClicked(*switchBox, on); });
            }
            m_command = new TPageCommand(groupBox);
            connect(m_command, &TPageCommand::busyChanged, this, &TFramePackAlarm::UpdateControlTestEnabled);
        } else {
            // Indicators only display: the whole group takes no input.
            groupBox->setEnabled(false);
        }
    }
    outer->addStretch(1);
}

QGroupBox* TFramePackAlarm::BuildFamilyGroup()
{
    m_familyGroup = new QGroupBox(this);
    m_familyGroup->setObjectName(QStringLiteral("GroupBoxFamily"));
    auto* layout = new QVBoxLayout(m_familyGroup);
    layout->setContentsMargins(6, 2, 6, 2);
    m_familyStatus = new QLabel(m_familyGroup);
    m_familyStatus->setObjectName(QStringLiteral("LabelFamilyStatus"));
    m_familyStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_familyStatus);
    m_familyGroup->setVisible(false);
    return m_familyGroup;
}

void TFramePackAlarm::ShowFamilyStatus(const RAlarmData& record)
{
    const bool foreign = IsForeign(record.family);
    m_familyGroup->setVisible(foreign);
    if (!foreign)
        return;
    const TTextOper texts;
    m_familyGroup->setTitle(texts.GetLanguageText(TextId::kFamilyStatusCaption) + QStringLiteral(" (")
                            + FamilyName(record.family) + QLatin1Char(')'));
    const QString summary = FamilyStatusSummary(record, texts);
    // Every byte 0: the pack reports nothing.
    m_familyStatus->setText(summary.isEmpty() ? QStringLiteral("-") : summary);
}

QCheckBox* TFramePackAlarm::checkBox(int number) const
{
    const auto found = m_checkBoxes.find(number);
    return found != m_checkBoxes.end() ? found->second : nullptr;
}

void TFramePackAlarm::ApplyLanguage()
{
    const TTextOper texts;
    for (const PanelGroup& group : kPanelGroups)
        m_groupBoxes.at(group.groupBox)->setTitle(texts.GetLanguageText(group.textId, FromUtf8(group.caption)));
    for (const auto& [number, box] : m_checkBoxes) {
        if (const StatusBit* bit = StatusBitOfCheckBox(number))
            box->setText(texts.GetLanguageText(bit->textId, FromUtf8(bit->caption)));
        else if (const SwitchBox* switchBox = FindSwitchBox(number))
            box->setText(texts.GetLanguageText(switchBox->textId, FromUtf8(switchBox->caption)));
    }
    ShowFamilyStatus(m_packRecord);
}

void TFramePackAlarm::ShowAlarmData(const RAlarmData& record)
{
    // Our boxes name our packs' status bits: another family's pack ticks none.
    const bool foreign = IsForeign(record.family);
    for (const IndicatorPlace& place : kIndicatorPlaces) {
        const StatusBit* bit = FindStatusBit(place.byte, place.bit);
        QCheckBox* box = m_checkBoxes.at(place.checkBox);
        if (!bit)
            continue;
        const IndicatorLook look = LookOfIndicator(bit->kind, !foreign && IsStatusBitSet(record, *bit));
        box->setChecked(look.checked);
        if (look.textBgr)
            SetTextColour(box, *look.textBgr);
    }

    const ShortCircuitLook counter = LookOfShortCircuit(foreign ? std::uint16_t(0) : record.shortCircuit);
    if (counter.visible) {
        m_shortCircuitLabel->setText(counter.text);
        SetTextColour(m_shortCircuitLabel, counter.textBgr);
    }
    m_shortCircuitLabel->setVisible(counter.visible);
    ShowFamilyStatus(record);

    // Only a record the pack sent tells its switch states; the blank one
    // of a pack not heard yet (or of a failed read) would switch all off.
    m_packRecord = record;
    m_haveRecord = m_store && m_store->AlarmDataFromPack(record.packNumber);
    // A test under way shows its own outcome when it ends.
    if (!IsBusy())
        ShowPackSwitches();
    UpdateControlTestEnabled();
}

void TFramePackAlarm::SetControlTestVisible(bool visible)
{
    m_groupBoxes.at(kControlTestGroupBox)->setVisible(visible);
}

void TFramePackAlarm::ShowFunctionSwitches(std::uint16_t word)
{
    // setChecked does not emit clicked, so showing the echoed word never
    // sends it again.
    for (const SwitchBox& box : kSwitchBoxes)
        m_checkBoxes.at(box.checkBox)->setChecked(IsSwitchOn(word, box));
}

std::uint16_t TFramePackAlarm::FunctionSwitchWord() const
{
    std::array<bool, kSwitchBoxes.size()> checked{};
    for (std::size_t i = 0; i < kSwitchBoxes.size(); ++i)
        checked[i] = m_checkBoxes.at(kSwitchBoxes[i].checkBox)->isChecked();
    return ::FunctionSwitchWord(checked);
}
