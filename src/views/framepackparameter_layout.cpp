// The parameter page's controls and where they sit, its captions and the
// filling of its selection boxes. Captions here are the defaults;
// ApplyLanguage replaces them with the texts of the language in force.

#include "views/framepackparameter.h"

#include "services/settings.h"
#include "store/bus_texts.h"
#include "views/comboboxext.h"
#include "views/framepackparameter_table.h"
#include "views/overview_grid.h"

#include <QCheckBox>
#include "views/page_command.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace ParameterPage;

namespace {

constexpr int kPanelWidth = 560;
constexpr int kRowHeight = 25;
constexpr int kSwitchColumns = 3;
// Column widths of the grid; column 0 (the id) is hidden.
constexpr std::array<int, TFramePackParameter::kGridColumns> kColumnWidths = {0, kNameColumnWidth, 50, 80, 80, 80};
// Header texts: id, name, unit, minimum, maximum, value.
constexpr std::array<std::uint16_t, TFramePackParameter::kGridColumns> kHeaderTextIds = {
    0x7101, 0x7106, 0x7103, 0x7104, 0x7105, 0x7102};

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
    connect(StringGrid1, &QTableWidget::cellClicked, this, &TFramePackParameter::StringGrid1Click);
    StringGrid1->installEventFilter(this);

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
        const SwitchBox& entry = kSwitchTable[k];
        auto* box = new QCheckBox(m_groupBoxes[entry.group]);
        box->setObjectName(QStringLiteral("CheckBox%1").arg(entry.number));
        m_switchBoxes[k] = box;
        if (entry.state == BoxState::Hidden) {
            box->hide();
            continue;
        }
        box->setEnabled(entry.state == BoxState::Shown);
        int& slot = placed[entry.group];
        switchGrids[entry.group]->addWidget(box, slot / kSwitchColumns, slot % kSwitchColumns);
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
        // The user's own pick, also of the item already shown, is what a
        // write sends from now on.
        connect(m_choiceBoxes[std::size_t(box)], &QComboBox::activated, this,
                [this, box] { m_unlistedShown[std::size_t(box)] = false; });
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
    // Which pack the values on screen came from, and when.
    LabelSetOrigin = new QLabel(panel);
    LabelSetOrigin->setObjectName(QStringLiteral("LabelSetOrigin"));
    LabelSetOrigin->setWordWrap(true);
    // Room for two lines from the start: the line that says the set is no
    // longer writable grows it to two, and the buttons below must not move
    // under the user's pointer.
    LabelSetOrigin->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LabelSetOrigin->setMinimumHeight(2 * LabelSetOrigin->fontMetrics().lineSpacing() + 4);
    right->addWidget(LabelSetOrigin);

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
    // The whole rack: a window of its own.
    BtnComparePacks = new QPushButton(panel);
    BtnComparePacks->setObjectName(QStringLiteral("BtnComparePacks"));
    right->addWidget(BtnComparePacks, 0, Qt::AlignRight);
    connect(BtnComparePacks, &QPushButton::clicked, this, &TFramePackParameter::BtnComparePacksClick);
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
    m_command = new TPageCommand(this);
    m_command->SetControls({BtnReadParameter, BtnWriteParameter, BtnImpParameter, BtnExpParameter, BtnComparePacks,
                            CheckBox100});
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
    BtnComparePacks->setText(Text(BusText::kComparePacks));
    ShowSetOrigin();
    for (std::size_t k = 0; k < kSwitchTable.size(); ++k) {
        m_switchBoxes[k]->setText(TParameterInfo::GetParameterName(kSwitchTable[k].id, NameLanguage(), m_currentSet));
        m_switchBoxes[k]->setToolTip(m_switchBoxes[k]->text());
        // The security switch (CheckBox24) is shown, but only the pack sets it.
        if (kSwitchTable[k].state == BoxState::Disabled)
            m_switchBoxes[k]->setEnabled(false);
    }
}
