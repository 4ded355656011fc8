#include "views/framepacklocation.h"

#include "services/textoper.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

constexpr int kDesignWidth = 670;
constexpr int kDesignHeight = 305;
constexpr int kTopGroupHeight = 40;
constexpr int kLeftGroupWidth = 325;
constexpr int kRightGroupWidth = 337;

// The status word's bits 0..6 and their check boxes' captions.
struct Caption {
    std::uint16_t textId;
    const char* text;   // default caption
};
constexpr std::array<Caption, TFramePackLocation::kCheckBoxes> kCheckBoxCaptions = {{
    {0x8002, "模组锁定"},
    {0x8003, "模组工作"},
    {0x8004, "G Sensor运动"},
    {0x8005, "蓝牙"},
    {0x8006, "网络连接"},
    {0x8007, "网络异常"},
    {0x800D, "GNSS信号"},
}};

// A captioned label, the edit it names (1-based Edit number) and its
// objectName.
struct LabelledEdit {
    const char* name;
    Caption caption;
    int edit;
};
// Left group: Label11..15 with Edit1..5. Right group: Label21..26 with
// Edit6..11.
constexpr std::array<LabelledEdit, 11> kLabelledEdits = {{
    {"Label11", {0x8008, "信号强度"}, 1},
    {"Label12", {0x8009, "小区位置LAC"}, 2},
    {"Label13", {0x800A, "ID"}, 3},
    {"Label14", {0x800B, "基站经度"}, 4},
    {"Label15", {0x800C, "基站纬度"}, 5},
    {"Label21", {0x800E, "可见卫星数量"}, 6},
    {"Label22", {0x800F, "有用卫星数量"}, 7},
    {"Label23", {0x8010, "GNSS经度"}, 8},
    {"Label24", {0x8011, "GNSS纬度"}, 9},
    {"Label25", {0x8012, "速度"}, 10},
    {"Label26", {0x8013, "方向"}, 11},
}};
constexpr int kFirstRightLabel = 5;

QString Coordinate(double degrees)
{
    return QString::number(degrees, 'f', 6);
}

QLineEdit* NewEdit(int number, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QStringLiteral("Edit%1").arg(number));
    edit->setReadOnly(true);
    return edit;
}

} // namespace

TFramePackLocation::TFramePackLocation(QWidget* parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("FramePackLocation"));
    auto* design = new QWidget(this);
    design->setFixedSize(kDesignWidth, kDesignHeight);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(4, 4, 4, 4);
    outer->addWidget(design, 0, Qt::AlignLeft | Qt::AlignTop);
    outer->addStretch(1);

    for (int index = 0; index < kCheckBoxes; ++index) {
        m_checkBoxes[std::size_t(index)] = new QCheckBox(QString::fromUtf8(kCheckBoxCaptions[std::size_t(index)].text));
        m_checkBoxes[std::size_t(index)]->setObjectName(QStringLiteral("CheckBox%1").arg(index + 1));
    }
    for (int index = 0; index < kEdits; ++index)
        m_edits[std::size_t(index)] = NewEdit(index + 1, nullptr);

    GroupBox1 = new QGroupBox(design);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setFixedHeight(kTopGroupHeight);
    auto* topRow = new QHBoxLayout(GroupBox1);
    topRow->setContentsMargins(8, 2, 8, 2);
    for (int index = 0; index < 4; ++index)
        topRow->addWidget(m_checkBoxes[std::size_t(index)]);
    topRow->addStretch(1);

    GroupBox2 = new QGroupBox(design);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    GroupBox2->setFixedWidth(kLeftGroupWidth);
    GroupBox3 = new QGroupBox(design);
    GroupBox3->setObjectName(QStringLiteral("GroupBox3"));
    GroupBox3->setFixedWidth(kRightGroupWidth);
    auto* leftGrid = new QGridLayout(GroupBox2);
    auto* rightGrid = new QGridLayout(GroupBox3);
    for (QGridLayout* grid : {leftGrid, rightGrid}) {
        grid->setContentsMargins(8, 6, 8, 6);
        grid->setVerticalSpacing(4);
        grid->setColumnStretch(1, 1);
    }
    // The two flags share a row of their own, so the label column is as wide
    // as the labels only.
    auto* flagRow = new QHBoxLayout;
    flagRow->addWidget(m_checkBoxes[4]);
    flagRow->addWidget(m_checkBoxes[5]);
    flagRow->addStretch(1);
    leftGrid->addLayout(flagRow, 0, 0, 1, 2);
    rightGrid->addWidget(m_checkBoxes[6], 0, 0, 1, 2);

    for (int index = 0; index < int(kLabelledEdits.size()); ++index) {
        const LabelledEdit& entry = kLabelledEdits[std::size_t(index)];
        auto* label = new QLabel(QString::fromUtf8(entry.caption.text));
        label->setObjectName(QLatin1String(entry.name));
        m_labels[std::size_t(index)] = label;
        const bool right = index >= kFirstRightLabel;
        QGridLayout* grid = right ? rightGrid : leftGrid;
        const int row = 1 + (right ? index - kFirstRightLabel : index);
        grid->addWidget(label, row, 0);
        grid->addWidget(m_edits[std::size_t(entry.edit - 1)], row, 1);
        if (entry.edit == 10) {
            auto* unit = new QLabel(QStringLiteral("Km/h"));
            unit->setObjectName(QStringLiteral("Label20"));
            grid->addWidget(unit, row, 2);
        }
    }
    // The module's identifiers, with fixed captions.
    const int identifierRow = 1 + kFirstRightLabel;
    auto* imei = new QLabel(QStringLiteral("IMEI"));
    imei->setObjectName(QStringLiteral("Label1"));
    auto* ccid = new QLabel(QStringLiteral("CCID"));
    ccid->setObjectName(QStringLiteral("Label2"));
    leftGrid->addWidget(imei, identifierRow, 0);
    leftGrid->addWidget(m_edits[11], identifierRow, 1);
    leftGrid->addWidget(ccid, identifierRow + 1, 0);
    leftGrid->addWidget(m_edits[12], identifierRow + 1, 1);
    leftGrid->setRowStretch(identifierRow + 2, 1);
    rightGrid->setRowStretch(1 + int(kLabelledEdits.size()) - kFirstRightLabel, 1);

    auto* column = new QVBoxLayout(design);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    column->addWidget(GroupBox1);
    auto* lower = new QHBoxLayout;
    lower->setSpacing(8);
    lower->addWidget(GroupBox2);
    lower->addWidget(GroupBox3);
    lower->addStretch(1);
    column->addLayout(lower, 1);
}

void TFramePackLocation::ApplyLanguage()
{
    const TTextOper texts;
    for (int index = 0; index < kCheckBoxes; ++index)
        m_checkBoxes[std::size_t(index)]->setText(texts.GetLanguageText(kCheckBoxCaptions[std::size_t(index)].textId));
    for (std::size_t index = 0; index < kLabelledEdits.size(); ++index)
        m_labels[index]->setText(texts.GetLanguageText(kLabelledEdits[index].caption.textId));
}

void TFramePackLocation::ClearLocation()
{
    for (QGroupBox* group : {GroupBox1, GroupBox2, GroupBox3})
        group->setEnabled(false);
    for (QLineEdit* edit : m_edits)
        edit->clear();
}

void TFramePackLocation::ShowLocation(const RLocationData& location)
{
    if (location.packNumber == 0)
        return;
    for (int bit = 0; bit < kCheckBoxes; ++bit)
        m_checkBoxes[std::size_t(bit)]->setChecked((location.status >> bit) & 1U);
    // Edit1..Edit13 in order.
    const std::array<QString, kEdits> values = {
        QString::number(location.signalStrength),
        QString::number(location.areaCode),
        QString::number(location.cellId),
        Coordinate(location.stationLongitude),
        Coordinate(location.stationLatitude),
        QString::number(location.visibleSatellites),
        QString::number(location.usedSatellites),
        Coordinate(location.satelliteLongitude),
        Coordinate(location.satelliteLatitude),
        location.speed.format(u"0.00"),
        QString::number(location.direction),
        location.imei,
        location.ccid,
    };
    for (int index = 0; index < kEdits; ++index) {
        QLineEdit* edit = m_edits[std::size_t(index)];
        edit->setText(values[std::size_t(index)]);
        // A long identifier shows from its start, and whole on hover.
        edit->setCursorPosition(0);
        edit->setToolTip(values[std::size_t(index)]);
    }
}
