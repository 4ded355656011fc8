#include "views/framepackparameter.h"

#include "params/parameter_block.h"
#include "params/parameter_commands.h"
#include "params/parameter_file.h"
#include "services/settings.h"
#include "services/text_ids.h"
#include "services/textoper.h"
#include "store/devinfo.h"
#include "views/comboboxext.h"
#include "views/file_dialogs.h"
#include "views/message_boxes.h"
#include "views/overview_grid.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kPanelWidth = 560;
constexpr int kRowHeight = 25;
constexpr int kSwitchColumns = 3;
// Column widths of the grid; column 0 (the id) is hidden.
constexpr std::array<int, TFramePackParameter::kGridColumns> kColumnWidths = {0, 290, 50, 80, 80, 80};
// Header texts: id, name, unit, minimum, maximum, value.
constexpr std::array<std::uint16_t, TFramePackParameter::kGridColumns> kHeaderTextIds = {
    0x7101, 0x7106, 0x7103, 0x7104, 0x7105, 0x7102};

constexpr std::uint16_t kConfirmWrite = 0x7109;
constexpr std::uint16_t kOutOfRange = 0x710A;
constexpr std::uint16_t kInvalidNumber = 0x710B;

struct Caption {
    std::uint16_t textId;
    const char* text;   // default caption
};
constexpr std::array<Caption, 5> kGroupCaptions = {{
    {0x7111, "功能控制"}, {0x7112, "报警控制"}, {0x7113, "保护控制"}, {0x7114, "其它控制"}, {0x711C, "协议类型"}}};
// Label1..5; a zero id keeps the fixed text.
constexpr std::array<Caption, 5> kLabelCaptions = {{
    {0, "mV"}, {0x7115, "均衡模式"}, {0x7116, "短路保护"}, {0, "RS485-1"}, {0, "CAN"}}};
constexpr Caption kRestoreCaption = {0x7110, "恢复默认参数"};
constexpr std::array<Caption, 4> kButtonCaptions = {{
    {0x710C, "读参数"}, {0x710D, "写参数"}, {0x710E, "导入参数"}, {0x710F, "导出参数"}}};
constexpr std::array<const char*, 4> kButtonNames = {
    "BtnReadParameter", "BtnWriteParameter", "BtnImpParameter", "BtnExpParameter"};

// The parameters of ComboBoxExt1..4.
constexpr std::array<std::uint8_t, TFramePackParameter::kChoiceBoxes> kChoiceIds = {20, 140, 148, 149};
// The protocol boxes show "None" (item 0) for a value they do not list; the
// other two show nothing, and writing keeps the value read from the pack.
constexpr int kFirstProtocolBox = 2;

enum class BoxState : std::uint8_t { Shown, Disabled, Hidden };
struct SwitchBox {
    std::uint8_t id;       // the switch parameter the box shows and sets
    std::uint8_t number;   // CheckBoxN
    std::uint8_t group;    // 0..2: GroupBox1..3
    BoxState state;
};
constexpr std::array<SwitchBox, TFramePackParameter::kSwitchBoxes> kSwitchTable = {{
    {186, 1, 0, BoxState::Shown},   {180, 2, 0, BoxState::Shown},   {184, 3, 0, BoxState::Shown},
    {182, 4, 0, BoxState::Shown},   {185, 5, 0, BoxState::Shown},   {181, 6, 0, BoxState::Shown},
    {183, 7, 0, BoxState::Shown},   {187, 8, 0, BoxState::Shown},   {188, 23, 0, BoxState::Shown},
    {189, 24, 0, BoxState::Disabled}, {199, 40, 0, BoxState::Hidden}, {198, 41, 0, BoxState::Hidden},
    {197, 42, 0, BoxState::Hidden},
    {203, 9, 1, BoxState::Shown},   {201, 10, 1, BoxState::Shown},  {213, 11, 1, BoxState::Shown},
    {211, 12, 1, BoxState::Shown},  {202, 13, 1, BoxState::Shown},  {200, 14, 1, BoxState::Shown},
    {212, 15, 1, BoxState::Shown},  {210, 16, 1, BoxState::Shown},  {207, 17, 1, BoxState::Shown},
    {209, 18, 1, BoxState::Shown},  {204, 19, 1, BoxState::Shown},  {205, 20, 1, BoxState::Shown},
    {206, 21, 1, BoxState::Shown},  {208, 22, 1, BoxState::Shown},
    {233, 25, 2, BoxState::Shown},  {231, 26, 2, BoxState::Shown},  {243, 27, 2, BoxState::Shown},
    {241, 28, 2, BoxState::Shown},  {232, 29, 2, BoxState::Shown},  {230, 30, 2, BoxState::Shown},
    {242, 31, 2, BoxState::Shown},  {240, 32, 2, BoxState::Shown},  {237, 33, 2, BoxState::Shown},
    {239, 34, 2, BoxState::Shown},  {234, 35, 2, BoxState::Shown},  {235, 36, 2, BoxState::Shown},
    {236, 37, 2, BoxState::Shown},  {238, 38, 2, BoxState::Shown},  {244, 39, 2, BoxState::Shown},
}};

QString Text(std::uint16_t id, const char* fallback = nullptr)
{
    return fallback ? TTextOper().GetLanguageText(id, QString::fromUtf8(fallback)) : TTextOper().GetLanguageText(id);
}

bool IsEditKey(const QString& text)
{
    // Control characters (backspace, Enter) pass; of the printable ones
    // only what a number is written with.
    if (text.isEmpty() || !text.front().isPrint())
        return true;
    return std::all_of(text.begin(), text.end(),
                       [](QChar c) { return c.isDigit() || c == QLatin1Char('-') || c == QLatin1Char('.'); });
}

// Paints the grid's cells through the overview grids' painter (row colours,
// centred text, names right-aligned 5 pixels from the edge).
QTableWidgetItem* NewCell(int row, int column, const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    // Data row r is row r + 1 of the grid, whose header is row 0.
    item->setBackground(ColorFromBgr(RowBackgroundBgr(row + 1)));
    item->setForeground(ColorFromBgr(kBgrBlack));
    const CellAlign align = column == 1 ? CellAlign::RightWithMargin : CellAlign::Centre;
    item->setData(OverviewGridModel::kCellAlignRole, static_cast<int>(align));
    return item;
}

} // namespace

TFramePackParameter::TFramePackParameter(QWidget* parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("FramePackParameter"));
    BuildControls();
}

void TFramePackParameter::BuildControls()
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    StringGrid1 = new QTableWidget(0, kGridColumns, this);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->setItemDelegate(new OverviewCellDelegate(StringGrid1));
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    StringGrid1->setShowGrid(true);
    StringGrid1->verticalHeader()->hide();
    StringGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    StringGrid1->verticalHeader()->setDefaultSectionSize(kRowHeight);
    StringGrid1->horizontalHeader()->setFixedHeight(kRowHeight);
    StringGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    StringGrid1->horizontalHeader()->setHighlightSections(false);
    layout->addWidget(StringGrid1, 1);
    connect(StringGrid1, &QTableWidget::currentCellChanged, this,
            [this](int row, int column) { StringGrid1SelectCell(row, column); });

    Edit1 = new QLineEdit(StringGrid1->viewport());
    Edit1->setObjectName(QStringLiteral("Edit1"));
    QPalette red = Edit1->palette();
    red.setColor(QPalette::Text, Qt::red);
    Edit1->setPalette(red);
    Edit1->hide();
    Edit1->installEventFilter(this);

    auto* panel = new QWidget(this);
    panel->setFixedWidth(kPanelWidth);
    auto* right = new QVBoxLayout(panel);
    right->setContentsMargins(4, 0, 4, 4);
    layout->addWidget(panel);

    for (int group = 0; group < int(m_groupBoxes.size()); ++group) {
        auto* box = new QGroupBox(QString::fromUtf8(kGroupCaptions[std::size_t(group)].text), panel);
        box->setObjectName(QStringLiteral("GroupBox%1").arg(group + 1));
        m_groupBoxes[std::size_t(group)] = box;
    }
    // Shown boxes fill the groups' grids in table order; hidden ones take no
    // room.
    std::array<int, 3> placed{};
    std::array<QGridLayout*, 3> switchGrids{};
    for (int group = 0; group < 3; ++group) {
        switchGrids[std::size_t(group)] = new QGridLayout(m_groupBoxes[std::size_t(group)]);
        switchGrids[std::size_t(group)]->setVerticalSpacing(2);
        right->addWidget(m_groupBoxes[std::size_t(group)]);
    }
    for (std::size_t k = 0; k < kSwitchTable.size(); ++k) {
        const SwitchBox& spec = kSwitchTable[k];
        auto* box = new QCheckBox(m_groupBoxes[spec.group]);
        box->setObjectName(QStringLiteral("CheckBox%1").arg(spec.number));
        m_switchBoxes[k] = box;
        if (spec.state == BoxState::Hidden) {
            box->hide();
            continue;
        }
        box->setEnabled(spec.state == BoxState::Shown);
        int& slot = placed[spec.group];
        switchGrids[spec.group]->addWidget(box, slot / kSwitchColumns, slot % kSwitchColumns);
        ++slot;
    }

    for (int label = 0; label < int(m_labels.size()); ++label) {
        m_labels[std::size_t(label)] = new QLabel(QString::fromUtf8(kLabelCaptions[std::size_t(label)].text), panel);
        m_labels[std::size_t(label)]->setObjectName(QStringLiteral("Label%1").arg(label + 1));
    }
    for (int box = 0; box < kChoiceBoxes; ++box) {
        m_choiceBoxes[std::size_t(box)] = new TComboBoxExt(panel);
        m_choiceBoxes[std::size_t(box)]->setObjectName(QStringLiteral("ComboBoxExt%1").arg(box + 1));
        m_choiceBoxes[std::size_t(box)]->setMinimumWidth(box < kFirstProtocolBox ? 110 : 140);
        // The longest item in either language is shown whole.
        m_choiceBoxes[std::size_t(box)]->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    }
    auto* other = new QHBoxLayout(m_groupBoxes[3]);
    other->addWidget(m_labels[1]);
    other->addWidget(m_choiceBoxes[0]);
    other->addSpacing(20);
    other->addWidget(m_labels[2]);
    other->addWidget(m_choiceBoxes[1]);
    other->addWidget(m_labels[0]);
    other->addStretch(1);
    right->addWidget(m_groupBoxes[3]);
    auto* protocols = new QHBoxLayout(m_groupBoxes[4]);
    protocols->addWidget(m_labels[3]);
    protocols->addWidget(m_choiceBoxes[2]);
    protocols->addSpacing(20);
    protocols->addWidget(m_labels[4]);
    protocols->addWidget(m_choiceBoxes[3]);
    protocols->addStretch(1);
    right->addWidget(m_groupBoxes[4]);

    CheckBox100 = new QCheckBox(QString::fromUtf8(kRestoreCaption.text), panel);
    CheckBox100->setObjectName(QStringLiteral("CheckBox100"));
    right->addWidget(CheckBox100);
    right->addStretch(1);

    auto* Panel1 = new QFrame(panel);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    auto* buttons = new QHBoxLayout(Panel1);
    std::array<QPushButton*, 4> made{};
    for (std::size_t k = 0; k < made.size(); ++k) {
        made[k] = new QPushButton(QString::fromUtf8(kButtonCaptions[k].text), Panel1);
        made[k]->setObjectName(QLatin1String(kButtonNames[k]));
        buttons->addWidget(made[k]);
    }
    right->addWidget(Panel1);
    BtnReadParameter = made[0];
    BtnWriteParameter = made[1];
    BtnImpParameter = made[2];
    BtnExpParameter = made[3];
    BtnReadParameter->setDefault(true);
    BtnWriteParameter->setEnabled(false);
    connect(BtnReadParameter, &QPushButton::clicked, this, &TFramePackParameter::BtnReadParameterClick);
    connect(BtnWriteParameter, &QPushButton::clicked, this, &TFramePackParameter::BtnWriteParameterClick);
    connect(BtnImpParameter, &QPushButton::clicked, this, &TFramePackParameter::BtnImpParameterClick);
    connect(BtnExpParameter, &QPushButton::clicked, this, &TFramePackParameter::BtnExpParameterClick);
}

std::uint8_t TFramePackParameter::NameLanguage() const
{
    // The catalogue names its parameters in Simplified Chinese and English;
    // any other language reads the Chinese names.
    return TTextOper::CurrentLanguage() == TTextOper::English ? 1 : 0;
}

// ---- Layout and captions.

void TFramePackParameter::InitPage()
{
    StringGrid1->setColumnCount(kGridColumns);
    for (int column = 0; column < kGridColumns; ++column)
        StringGrid1->setColumnWidth(column, kColumnWidths[std::size_t(column)]);
    StringGrid1->setColumnHidden(0, true);
    QStringList headers;
    for (std::uint16_t id : kHeaderTextIds)
        headers << Text(id);
    StringGrid1->setHorizontalHeaderLabels(headers);
    FillChoiceBoxes();
    Edit1->clear();
    Edit1->hide();
    m_edit1Tag = -1;
    UpdateWriteButton();
}

void TFramePackParameter::FillChoiceBoxes()
{
    for (int box = 0; box < kChoiceBoxes; ++box) {
        TComboBoxExt* combo = m_choiceBoxes[std::size_t(box)];
        combo->clearItems();
        for (const RParameterChoice& choice : TParameterInfo::ParameterChoices(kChoiceIds[std::size_t(box)])) {
            const QString text = choice.textId != 0 ? Text(choice.textId) : QString::fromUtf8(choice.text);
            combo->addItem(text, QString::number(choice.value));
        }
        combo->selectIndex(0);
    }
}

void TFramePackParameter::ApplyLanguage()
{
    for (std::size_t k = 0; k < m_groupBoxes.size(); ++k)
        m_groupBoxes[k]->setTitle(Text(kGroupCaptions[k].textId, kGroupCaptions[k].text));
    for (std::size_t k = 0; k < m_labels.size(); ++k) {
        if (kLabelCaptions[k].textId != 0)
            m_labels[k]->setText(Text(kLabelCaptions[k].textId, kLabelCaptions[k].text));
    }
    CheckBox100->setText(Text(kRestoreCaption.textId, kRestoreCaption.text));
    const std::array<QPushButton*, 4> buttons = {BtnReadParameter, BtnWriteParameter, BtnImpParameter,
                                                 BtnExpParameter};
    for (std::size_t k = 0; k < buttons.size(); ++k)
        buttons[k]->setText(Text(kButtonCaptions[k].textId, kButtonCaptions[k].text));
    for (std::size_t k = 0; k < kSwitchTable.size(); ++k) {
        m_switchBoxes[k]->setText(TParameterInfo::GetParameterName(kSwitchTable[k].id, NameLanguage(), m_currentSet));
        m_switchBoxes[k]->setToolTip(m_switchBoxes[k]->text());
    }
    // The security switch is shown but the pack decides it.
    m_switchBoxes[9]->setEnabled(false);
}

// ---- Showing and collecting.

void TFramePackParameter::ShowParameters(const RParameter& set)
{
    m_currentSet = set;
    // An open editor would write its old text over the new value.
    Edit1->hide();
    m_edit1Tag = -1;

    const std::uint8_t language = NameLanguage();
    const TTextOper texts;
    int rows = 0;
    for (const RParameterKind& entry : set.Entries)
        rows += entry.ListGroup > 0 ? 1 : 0;
    const QSignalBlocker blocker(StringGrid1);
    StringGrid1->setRowCount(rows);
    int row = 0;
    QString widestName;
    for (const RParameterKind& entry : set.Entries) {
        if (entry.ListGroup == 0)
            continue;
        if (StringGrid1->fontMetrics().horizontalAdvance(entry.Names[language])
            > StringGrid1->fontMetrics().horizontalAdvance(widestName))
            widestName = entry.Names[language];
        const bool ranged = entry.ShowRange == 1;
        const std::array<QString, kGridColumns> cells = {
            QString::number(entry.Id),
            entry.Names[language],
            texts.GetUnitText(entry.UnitCode),
            ranged ? TParameterInfo::FormatParameterValue(entry.Kind, entry.Decimals, entry.MinValue) : QString(),
            ranged ? TParameterInfo::FormatParameterValue(entry.Kind, entry.Decimals, entry.MaxValue) : QString(),
            TParameterInfo::FormatParameterValue(entry.Kind, entry.Decimals, entry.Value),
        };
        for (int column = 0; column < kGridColumns; ++column)
            StringGrid1->setItem(row, column, NewCell(row, column, cells[std::size_t(column)]));
        ++row;
    }
    // The longest English names need a little more than the name column's
    // 290 pixels.
    SetFittingColumnWidth(StringGrid1, 1, kColumnWidths[1], widestName);

    for (int box = 0; box < kChoiceBoxes; ++box) {
        TComboBoxExt* combo = m_choiceBoxes[std::size_t(box)];
        const QString value = QString::number(TParameterInfo::GetParameterInt(kChoiceIds[std::size_t(box)], set));
        if (!combo->selectValue(value))
            combo->selectIndex(box >= kFirstProtocolBox ? 0 : -1);
    }
    for (std::size_t k = 0; k < kSwitchTable.size(); ++k)
        m_switchBoxes[k]->setChecked(TParameterInfo::GetParameterFlag(kSwitchTable[k].id, set));
}

void TFramePackParameter::CollectParameters(RParameter& set) const
{
    for (int row = 0; row < StringGrid1->rowCount(); ++row) {
        const QTableWidgetItem* idCell = StringGrid1->item(row, 0);
        const QTableWidgetItem* valueCell = StringGrid1->item(row, kValueColumn);
        if (!idCell || !valueCell)
            continue;
        const QString text = valueCell->text().trimmed();
        if (text.isEmpty())
            continue;
        if (const std::optional<Decimal> value = Decimal::parse(text))
            TParameterInfo::SetParameterValue(idCell->text().toInt(), set, *value);
    }
    for (int box = 0; box < kChoiceBoxes; ++box) {
        // A box without a selection (the pack reported a value it does not
        // list) keeps the value the set holds rather than sending 0.
        bool ok = false;
        const int value = m_choiceBoxes[std::size_t(box)]->selectedValue().toInt(&ok);
        if (ok)
            TParameterInfo::SetParameterInt(kChoiceIds[std::size_t(box)], value, set);
    }
    for (std::size_t k = 0; k < kSwitchTable.size(); ++k)
        TParameterInfo::SetParameterFlag(kSwitchTable[k].id, m_switchBoxes[k]->isChecked(), set);
}

// ---- Editing a value.

void TFramePackParameter::StringGrid1SelectCell(int row, int column)
{
    if (column != kValueColumn || row < 0 || row >= StringGrid1->rowCount()) {
        Edit1->hide();
        return;
    }
    // Hiding a focused editor ends its edit first (Edit1Exit).
    Edit1->hide();
    const QTableWidgetItem* cell = StringGrid1->item(row, column);
    StringGrid1->scrollToItem(cell);
    Edit1->setGeometry(StringGrid1->visualItemRect(cell));
    Edit1->setText(cell ? cell->text() : QString());
    m_edit1Tag = row;
    Edit1->show();
    Edit1->setFocus();
    Edit1->selectAll();
}

void TFramePackParameter::Edit1Exit()
{
    if (m_inEdit1Exit || m_edit1Tag < 0)
        return;
    const QString text = Edit1->text().trimmed();
    if (text.isEmpty())
        return;
    m_inEdit1Exit = true;
    if (!Decimal::parse(text)) {
        MessageBoxes::Warn(this, Text(kInvalidNumber));
    } else if (QTableWidgetItem* cell = StringGrid1->item(m_edit1Tag, kValueColumn)) {
        cell->setText(Edit1->text());
    }
    m_inEdit1Exit = false;
}

bool TFramePackParameter::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Edit1) {
        if (event->type() == QEvent::FocusOut) {
            Edit1Exit();
        } else if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                Edit1Exit();
                return true;
            }
            // Edit1KeyPress: only what a number is written with.
            if (!IsEditKey(key->text()))
                return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}

// ---- Buttons.

bool TFramePackParameter::PortIsOpen()
{
    if (m_store && m_store->IsSerialOpen(Globals().PortNumber))
        return true;
    MessageBoxes::Inform(this, Text(TextId::kPortNotOpen));
    return false;
}

void TFramePackParameter::UpdateWriteButton()
{
    const AppGlobals& globals = Globals();
    BtnWriteParameter->setEnabled(globals.PasswordOk && globals.ParametersRead);
}

int TFramePackParameter::RowOfParameter(std::uint8_t id) const
{
    const QString text = QString::number(id);
    for (int row = 0; row < StringGrid1->rowCount(); ++row) {
        if (const QTableWidgetItem* cell = StringGrid1->item(row, 0); cell && cell->text() == text)
            return row;
    }
    return -1;
}

bool TFramePackParameter::RefuseParameter(const RParameter& set, bool checkRange)
{
    std::optional<std::uint8_t> refused;
    if (checkRange) {
        if (const std::optional<RParameterKind> entry = TParameterInfo::FirstOutOfRange(set))
            refused = entry->Id;
    }
    // A value the block cannot carry would be cut to its low bits on the
    // wire; the pack must never see it.
    if (!refused)
        refused = FindUnfitParameter(set);
    if (!refused)
        return false;
    const int row = RowOfParameter(*refused);
    if (row >= 0) {
        StringGrid1->setCurrentCell(row, kValueColumn);
        // Selecting the cell that is already current selects nothing new.
        if (m_edit1Tag != row || Edit1->isHidden())
            StringGrid1SelectCell(row, kValueColumn);
    }
    QString name = set.Entries[*refused].Names[NameLanguage()];
    if (name.isEmpty())
        name = QString::number(*refused);
    MessageBoxes::Inform(this, name + QStringLiteral("--") + Text(kOutOfRange));
    return true;
}

void TFramePackParameter::BtnReadParameterClick()
{
    if (!PortIsOpen())
        return;
    AppGlobals& globals = Globals();
    RParameter set = m_store->ParameterInfo().NewParameterSet(globals.SelectedPack);
    const std::uint8_t result = m_store->ReadParameters(globals.SelectedAddress, globals.SelectedPack, set);
    if (result != 0) {
        globals.ParametersRead = false;
        MessageBoxes::Inform(this, TTextOper().GetErrorText(result));
    } else {
        ShowParameters(set);
        m_store->StoreParameters(set);
        globals.ParametersRead = true;
        MessageBoxes::Inform(this, Text(TextId::kOperationSucceeded));
    }
    UpdateWriteButton();
}

void TFramePackParameter::BtnWriteParameterClick()
{
    if (!PortIsOpen())
        return;
    AppGlobals& globals = Globals();
    const bool restore = CheckBox100->isChecked();
    CollectParameters(m_currentSet);
    if (RefuseParameter(m_currentSet, !restore))
        return;
    if (MessageBoxes::Ask(this, Text(kConfirmWrite)) == MessageBoxes::Answer::Ok) {
        // A set imported from a file carries no values for the block fields
        // that have no catalogue entry: those keep what the pack said last.
        const RParameter toSend = MergeForWrite(m_store->GetStoredParameters(globals.SelectedPack), m_currentSet);
        const RParameterWriteResult result =
            m_store->WriteParameters(globals.SelectedAddress, globals.SelectedPack, toSend, restore);
        if (!result.ok()) {
            MessageBoxes::Inform(this, TTextOper().GetErrorText(result.result));
        } else {
            RParameter set = m_store->ParameterInfo().NewParameterSet(globals.SelectedPack);
            if (m_store->ReadParameters(globals.SelectedAddress, globals.SelectedPack, set) == 0) {
                ShowParameters(set);
                m_store->StoreParameters(set);
            }
            CheckBox100->setChecked(false);
            MessageBoxes::Inform(this, Text(TextId::kOperationSucceeded));
        }
        // Confirmed: whatever the outcome, the next write needs a new read.
        globals.ParametersRead = false;
    }
    UpdateWriteButton();
}

// ---- Parameter files.

void TFramePackParameter::BtnImpParameterClick()
{
    const AppGlobals& globals = Globals();
    RParameter set = m_store->ParameterInfo().NewParameterSet(globals.SelectedPack);
    const QString path = FileDialogs::AskOpenFileName(
        this, {Text(kButtonCaptions[2].textId), globals.ParameterPath, QLatin1String(kParameterFileFilter),
               QLatin1String(kParameterFileExtension)});
    if (!path.isEmpty()) {
        const RParameterFileResult result = ImportParameterFile(path, set);
        if (result.ok) {
            CheckBox100->setChecked(false);
            MessageBoxes::Inform(this, Text(TextId::kOperationSucceeded));
        } else {
            MessageBoxes::Inform(this, result.errorText);
        }
    }
    // Also after a cancel or a failure: the fresh set, or what was read
    // before the line that stopped the import.
    ShowParameters(set);
}

void TFramePackParameter::BtnExpParameterClick()
{
    CollectParameters(m_currentSet);
    // A file that holds a value the block cannot carry could not be
    // imported again, so export refuses it as writing does.
    if (RefuseParameter(m_currentSet, true))
        return;
    const AppGlobals& globals = Globals();
    const QString path = FileDialogs::AskSaveFileName(
        this, {Text(kButtonCaptions[3].textId), globals.ParameterPath, QLatin1String(kParameterFileFilter),
               QLatin1String(kParameterFileExtension)});
    if (path.isEmpty())
        return;
    RParameterFileTexts texts;
    for (std::size_t k = 0; k < texts.header.size(); ++k)
        texts.header[k] = Text(kParameterFileHeaderTextIds[k]);
    texts.language = NameLanguage();
    texts.unitText = [](std::uint8_t unitCode) { return TTextOper().GetUnitText(unitCode); };
    const RParameterFileResult result = ExportParameterFile(path, m_currentSet, texts);
    if (!result.ok) {
        MessageBoxes::Inform(this, result.errorText);
        return;
    }
    MessageBoxes::Inform(this, path + QStringLiteral("*****") + Text(TextId::kOperationSucceeded));
}
