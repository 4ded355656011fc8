// The configuration page: its left column, the captions, the state each
// entry puts it in, the key filters and the steps every handler shares.

#include "views/framepackconfig.h"

#include "services/input_text.h"
#include "services/settings.h"
#include "services/text_ids.h"
#include "services/textoper.h"
#include "store/bus_texts.h"
#include "store/config_checks.h"
#include "store/devinfo.h"
#include "views/comboboxext.h"
#include "views/message_boxes.h"
#include "views/page_command.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace {

constexpr int kEditWidth = 90;

QString Text(std::uint16_t id)
{
    return TTextOper().GetLanguageText(id);
}

QLabel* Label(const char* name, const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

QTimeEdit* TimePicker(const char* name, const QString& format, QWidget* parent)
{
    auto* picker = new QTimeEdit(parent);
    picker->setObjectName(QLatin1String(name));
    picker->setDisplayFormat(format);
    return picker;
}

// Buttons of a group, right-aligned in one row.
QHBoxLayout* ButtonRow(std::initializer_list<QPushButton*> buttons)
{
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    for (QPushButton* button : buttons)
        row->addWidget(button);
    return row;
}

} // namespace

TFramePackConfig::TFramePackConfig(QWidget* parent)
    : QFrame(parent)
{
    // On a small screen the page scrolls rather than stretch the window.
    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    auto* content = new QWidget(scroll);
    auto* columns = new QHBoxLayout(content);
    columns->addWidget(BuildLeftColumn(), 0, Qt::AlignTop);
    columns->addWidget(BuildRightColumn(), 0, Qt::AlignTop);
    columns->addStretch(1);
    scroll->setWidget(content);
    auto* frameLayout = new QVBoxLayout(this);
    frameLayout->setContentsMargins(0, 0, 0, 0);
    frameLayout->addWidget(scroll);
    // Every button of the page rests while one of its commands runs, except
    // the clock run over all packs, which has a runner and controls of its own.
    m_command = new TPageCommand(this);
    std::vector<QWidget*> controls;
    for (QPushButton* button : findChildren<QPushButton*>())
        if (button != BtnSyncAllClocks && button != BtnCancelSyncClocks)
            controls.push_back(button);
    m_command->SetControls(std::move(controls));
    ApplyLanguage();
}

void TFramePackConfig::SetRunner(TBusWorker* runner)
{
    m_command->SetRunner(runner);
}

bool TFramePackConfig::IsBusy() const
{
    return m_command->IsBusy();
}

void TFramePackConfig::Send(std::function<std::uint8_t(TDevInfo&)> command, std::function<void(std::uint8_t)> then)
{
    m_command->Run<std::uint8_t>(m_store, std::move(command), std::move(then));
}

QPushButton* TFramePackConfig::Button(const char* name, std::uint16_t textId, void (TFramePackConfig::*handler)())
{
    auto* button = Captioned(new QPushButton(this), textId);
    button->setObjectName(QLatin1String(name));
    if (handler)
        connect(button, &QPushButton::clicked, this, handler);
    return button;
}

QLineEdit* TFramePackConfig::NumberEdit(const char* name, int maxLength, const QString& allowed)
{
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QLatin1String(name));
    if (maxLength > 0)
        edit->setMaxLength(maxLength);
    edit->setFixedWidth(kEditWidth);
    edit->installEventFilter(this);
    m_keyFilters.emplace_back(edit, allowed);
    return edit;
}

QWidget* TFramePackConfig::BuildLeftColumn()
{
    const QString digits = QStringLiteral("0123456789");
    auto* column = new QWidget(this);
    auto* stack = new QVBoxLayout(column);
    stack->setContentsMargins(0, 0, 0, 0);

    // Date and time.
    GroupBox1 = Captioned(new QGroupBox(column), 0x7001);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    DateTimePicker1 = new QDateEdit(GroupBox1);
    DateTimePicker1->setObjectName(QStringLiteral("DateTimePicker1"));
    DateTimePicker1->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    DateTimePicker1->setCalendarPopup(true);
    DateTimePicker2 = TimePicker("DateTimePicker2", QStringLiteral("HH:mm:ss"), GroupBox1);
    CheckBox1 = Captioned(new QCheckBox(GroupBox1), 0x701E);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setChecked(true);
    auto* clock = new QGridLayout(GroupBox1);
    clock->addWidget(Captioned(Label("Label2", QString(), GroupBox1), 0x7002), 0, 0);
    clock->addWidget(DateTimePicker1, 0, 1);
    clock->addWidget(DateTimePicker2, 0, 2);
    clock->addWidget(CheckBox1, 1, 1);
    QPushButton* writeClock = Button("BtnWriteDateTime", TextId::kWrite, &TFramePackConfig::BtnWriteDateTimeClick);
    clock->addLayout(ButtonRow({Button("BtnReadDateTime", TextId::kRead, &TFramePackConfig::BtnReadDateTimeClick),
                                writeClock}),
                     1, 2, 1, 2);
    BtnSyncAllClocks = Button("BtnSyncAllClocks", BusText::kSyncAllClocks, &TFramePackConfig::BtnSyncAllClocksClick);
    BtnCancelSyncClocks = Button("BtnCancelSyncClocks", TextId::kCancel, &TFramePackConfig::BtnCancelSyncClocksClick);
    ProgressSyncClocks = new QProgressBar(GroupBox1);
    ProgressSyncClocks->setObjectName(QStringLiteral("ProgressSyncClocks"));
    // Shown only while the clocks are being set.
    BtnCancelSyncClocks->setVisible(false);
    ProgressSyncClocks->setVisible(false);
    clock->addWidget(ProgressSyncClocks, 2, 0, 1, 2);
    clock->addLayout(ButtonRow({BtnSyncAllClocks, BtnCancelSyncClocks}), 2, 2, 1, 2);
    stack->addWidget(GroupBox1);

    // Recording window and interval, erasing the logs.
    GroupBox2 = Captioned(new QGroupBox(column), 0x7003);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    DateTimePicker4 = TimePicker("DateTimePicker4", QStringLiteral("HH:mm"), GroupBox2);
    DateTimePicker5 = TimePicker("DateTimePicker5", QStringLiteral("HH:mm"), GroupBox2);
    Edit1 = NumberEdit("Edit1", 5, digits);
    auto* storage = new QGridLayout(GroupBox2);
    storage->addWidget(Captioned(Label("Label1", QString(), GroupBox2), 0x7004), 0, 0);
    storage->addWidget(DateTimePicker4, 0, 1);
    storage->addWidget(Captioned(Label("Label3", QString(), GroupBox2), 0x7005), 0, 2);
    storage->addWidget(DateTimePicker5, 0, 3);
    storage->addWidget(Captioned(Label("Label4", QString(), GroupBox2), 0x7006), 1, 0);
    storage->addWidget(Edit1, 1, 1);
    storage->addWidget(Label("Label5", QStringLiteral("(Sec)"), GroupBox2), 1, 2);
    storage->addLayout(
        ButtonRow({Button("BtnDeleteData", TextId::kDeleteData, &TFramePackConfig::BtnDeleteDataClick),
                   Button("BtnDeleteAlarm", TextId::kDeleteAlarms, &TFramePackConfig::BtnDeleteAlarmClick),
                   Button("BtnWriteRecordTime", TextId::kWrite, &TFramePackConfig::BtnWriteRecordTimeClick)}),
        2, 0, 1, 4);
    storage->addWidget(OriginLabel(GroupRecording, GroupBox2), 3, 0, 1, 4);
    stack->addWidget(GroupBox2);

    // Capacities; the buttons stand beside the fields.
    GroupBox3 = Captioned(new QGroupBox(column), 0x7007);
    GroupBox3->setObjectName(QStringLiteral("GroupBox3"));
    Edit2 = NumberEdit("Edit2", 0, digits);
    Edit3 = NumberEdit("Edit3", 0, digits);
    Edit4 = NumberEdit("Edit4", 0, digits);
    auto* capacity = new QGridLayout(GroupBox3);
    const std::array<std::tuple<const char*, std::uint16_t, QLineEdit*>, 3> capacityRows = {{
        {"Label6", 0x7008, Edit2}, {"Label7", 0x6014, Edit3}, {"Label8", 0x6013, Edit4}}};
    for (int i = 0; i < 3; ++i) {
        const auto& [labelName, textId, edit] = capacityRows[std::size_t(i)];
        capacity->addWidget(Captioned(Label(labelName, QString(), GroupBox3), textId), i, 0);
        capacity->addWidget(edit, i, 1);
        capacity->addWidget(Label("", QStringLiteral("(mAh)"), GroupBox3), i, 2);
    }
    QPushButton* writeCapacity = Button("BtnWriteCapacity", TextId::kWrite, &TFramePackConfig::BtnWriteCapacityClick);
    capacity->setColumnStretch(3, 1);
    capacity->addWidget(Button("BtnReadCapacity", TextId::kRead, &TFramePackConfig::BtnReadCapacityClick), 0, 4);
    capacity->addWidget(writeCapacity, 1, 4);
    capacity->addWidget(OriginLabel(GroupCapacity, GroupBox3), 3, 0, 1, 5);
    stack->addWidget(GroupBox3);

    // Cycle count.
    GroupBox4 = Captioned(new QGroupBox(column), 0x6015);
    GroupBox4->setObjectName(QStringLiteral("GroupBox4"));
    Edit5 = NumberEdit("Edit5", 4, digits);
    auto* cycles = new QGridLayout(GroupBox4);
    cycles->addWidget(Captioned(Label("Label9", QString(), GroupBox4), 0x7009), 0, 0);
    cycles->addWidget(Edit5, 0, 1);
    cycles->addLayout(ButtonRow({Button("BtnWriteCycleTime", TextId::kWrite,
                                        &TFramePackConfig::BtnWriteCycleTimeClick)}),
                      0, 2);
    stack->addWidget(GroupBox4);

    // Number of packs on the bus.
    GroupBox5 = Captioned(new QGroupBox(column), 0x700A);
    GroupBox5->setObjectName(QStringLiteral("GroupBox5"));
    Edit6 = NumberEdit("Edit6", 2, digits);
    Label18 = Label("Label18", QString(), GroupBox5);
    auto* packs = new QGridLayout(GroupBox5);
    packs->addWidget(Captioned(Label("Label10", QString(), GroupBox5), 0x700A), 0, 0);
    packs->addWidget(Edit6, 0, 1);
    packs->addWidget(Label18, 0, 2);
    QPushButton* writePacks =
        Button("BtnWritePackQuantity", TextId::kWrite, &TFramePackConfig::BtnWritePackQuantityClick);
    packs->addLayout(ButtonRow({Button("BtnReadPackQuantity", TextId::kRead,
                                       &TFramePackConfig::BtnReadPackQuantityClick),
                                writePacks}),
                     0, 3);
    packs->addWidget(OriginLabel(GroupPackCount, GroupBox5), 1, 0, 1, 4);
    stack->addWidget(GroupBox5);

    // Bar code.
    GroupBox7 = Captioned(new QGroupBox(column), 0x700E);
    GroupBox7->setObjectName(QStringLiteral("GroupBox7"));
    Edit10 = new QLineEdit(GroupBox7);
    Edit10->setObjectName(QStringLiteral("Edit10"));
    // No length limit on the field: a longer text pasted in is refused with
    // a message when written, never cut without a word.
    auto* barCode = new QGridLayout(GroupBox7);
    barCode->addWidget(Captioned(Label("Label17", QString(), GroupBox7), 0x700F), 0, 0);
    barCode->addWidget(Edit10, 0, 1);
    QPushButton* writeBarCode = Button("BtnWriteBarCode", TextId::kWrite, &TFramePackConfig::BtnWriteBarCodeClick);
    barCode->addLayout(ButtonRow({Button("BtnReadBarCode", TextId::kRead, &TFramePackConfig::BtnReadBarCodeClick),
                                  writeBarCode}),
                       1, 0, 1, 2);
    barCode->addWidget(OriginLabel(GroupBarCode, GroupBox7), 2, 0, 1, 2);
    stack->addWidget(GroupBox7);
    stack->addStretch(1);

    m_writeControls.insert(m_writeControls.end(),
                           {writeClock, BtnSyncAllClocks, writeCapacity, writePacks, writeBarCode, GroupBox2, GroupBox4});
    return column;
}

void TFramePackConfig::InitPage()
{
    const QDateTime now = QDateTime::currentDateTime();
    DateTimePicker1->setDate(now.date());
    DateTimePicker2->setTime(now.time());
    DateTimePicker4->setTime(QTime(0, 0, 0));
    DateTimePicker5->setTime(QTime(23, 59, 59));
    Label18->setText(QStringLiteral("1-%1").arg(kMaxPacks));
    Edit1->setText(QStringLiteral("60"));
    Edit5->setText(QStringLiteral("0"));
    for (QLineEdit* edit : {Edit2, Edit3, Edit4, Edit6, Edit10})
        edit->clear();
    for (int row = 0; row < kCalibrationRows; ++row)
        ClearCalibrationRow(row);
    for (QLineEdit* edit : m_productEdits)
        edit->clear();
    m_valueOrigins = {};
    ShowValueOrigins();
    const bool unlocked = Globals().PasswordOk;
    for (QWidget* control : m_writeControls)
        control->setVisible(unlocked);
    if (m_store)
        m_store->FillSensorList(*ComboBoxExt1, kMaxCellTemperatures);
}

QLabel* TFramePackConfig::OriginLabel(ValueGroup group, QWidget* parent)
{
    static constexpr std::array<const char*, kValueGroups> kNames = {
        "LabelOriginRecording", "LabelOriginCapacity", "LabelOriginPackCount", "LabelOriginBarCode",
        "LabelOriginProduct"};
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(kNames[std::size_t(group)]));
    label->setWordWrap(true);
    label->setStyleSheet(QStringLiteral("color: #C00000"));
    label->hide();
    m_originLabels[std::size_t(group)] = label;
    return label;
}

void TFramePackConfig::NoteValuesFrom(ValueGroup group, bool fromPack)
{
    m_valueOrigins[std::size_t(group)] = fromPack ? Pack() : std::uint8_t(0);
    ShowValueOrigins();
}

void TFramePackConfig::ShowValueOrigins()
{
    constexpr std::uint16_t kValuesFromOtherPack = 0x36B9;
    const std::uint8_t focus = Pack();
    for (std::size_t k = 0; k < m_originLabels.size(); ++k) {
        QLabel* label = m_originLabels[k];
        if (!label)
            continue;
        const std::uint8_t origin = m_valueOrigins[k];
        const bool other = origin != 0 && origin != focus;
        label->setText(other ? Text(kValuesFromOtherPack).arg(origin).arg(focus) : QString());
        label->setVisible(other);
    }
}

void TFramePackConfig::ApplyLanguage()
{
    ShowValueOrigins();
    for (const auto& [widget, textId] : m_captions) {
        const QString text = Text(textId);
        if (auto* box = qobject_cast<QGroupBox*>(widget))
            box->setTitle(text);
        else if (auto* label = qobject_cast<QLabel*>(widget))
            label->setText(text);
        else if (auto* button = qobject_cast<QAbstractButton*>(widget))
            button->setText(text);
    }
    // The ambient sensor's entry carries a text of the current language.
    if (m_store && ComboBoxExt1->count() > 0) {
        const QString selected = ComboBoxExt1->selectedValue();
        m_store->FillSensorList(*ComboBoxExt1, kMaxCellTemperatures);
        ComboBoxExt1->selectValue(selected);
    }
}

bool TFramePackConfig::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return QFrame::eventFilter(watched, event);
    for (const auto& [edit, allowed] : m_keyFilters) {
        if (edit != watched)
            continue;
        // Keys that type nothing (arrows, Home) and control characters
        // (Backspace, Enter, the clipboard shortcuts) pass; of the typed
        // characters only the allowed ones do.
        const QString typed = static_cast<QKeyEvent*>(event)->text();
        for (const QChar character : typed)
            if (character.isPrint() && !allowed.contains(character))
                return true;
        return false;
    }
    return QFrame::eventFilter(watched, event);
}

// ---- Steps shared by the handlers.

void TFramePackConfig::Inform(const QString& text)
{
    MessageBoxes::Inform(this, text);
}

bool TFramePackConfig::PortIsOpen()
{
    return m_command->CheckPort(m_store);
}

bool TFramePackConfig::Given(const QLineEdit* edit, std::uint16_t emptyTextId)
{
    if (!edit->text().trimmed().isEmpty())
        return true;
    Inform(Text(emptyTextId));
    return false;
}

bool TFramePackConfig::Confirmed(std::uint16_t questionId)
{
    return MessageBoxes::Ask(this, Text(questionId)) == MessageBoxes::Answer::Ok;
}

bool TFramePackConfig::Report(std::uint8_t result)
{
    Inform(result == 0 ? Text(TextId::kOperationSucceeded) : m_command->ResultText(result));
    return result == 0;
}

std::uint8_t TFramePackConfig::Address() const
{
    return Globals().SelectedAddress;
}

std::uint8_t TFramePackConfig::Pack() const
{
    return Globals().SelectedPack;
}

std::optional<std::int64_t> TFramePackConfig::WholeIn(const QLineEdit* edit, std::int64_t minimum,
                                                      std::int64_t maximum, std::uint16_t outOfRangeId)
{
    const QString text = edit->text().trimmed();
    const std::optional<std::int64_t> value = ParseWhole(text);
    if (!value) {
        Inform(Text(TextId::kNotANumber).arg(QuotedInput(text)));
        return std::nullopt;
    }
    if (*value < minimum || *value > maximum) {
        Inform(Text(outOfRangeId).arg(minimum).arg(maximum));
        return std::nullopt;
    }
    return value;
}
