// The controls of the main window and where they sit. Captions here are the
// defaults; ApplyLanguage replaces them with the texts of the language in
// force.

#include "app/lamp_shape.h"
#include "app/main_form.h"
#include "views/comboboxext.h"
#include "views/framepackalarm.h"
#include "views/framepackcellvoltage.h"
#include "views/framepackhead.h"
#include "views/framepackinfo.h"
#include "views/framepacktemperature.h"
#include "views/password_echo.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// Widths of the status bar panels; the last one takes what is left.
constexpr std::array<int, TMainForm::kStatusPanels> kPanelWidths = {150, 90, 300, 100, 50};
constexpr std::array<const char*, TMainForm::kStatusPanels> kPanelCaptions = {
    "时间", "版本", "条码", "地址", "错误信息"};

// The default captions of the eight pages; the text service gives the
// caption of the language in force.
constexpr std::array<const char*, TMainForm::kPageCount> kPageCaptions = {
    "实时监控", "并联监控", "实时数据", "通讯信息", "参数信息", "系统配置", "数据记录", "报警记录"};

constexpr int kLeftStripHeight = 200;
constexpr int kPackInfoWidth = 250;
constexpr int kHeadHeight = 45;
constexpr int kRightWidth = 600;
// Tall enough for the port group's second row, the listen choice.
constexpr int kTopBarHeight = 62;
constexpr int kLinkGroupWidth = 40;
constexpr int kPortGroupWidth = 160;
constexpr int kBottomBarHeight = 40;
constexpr int kPasswordLength = 20;
constexpr int kPackCountLength = 2;

template <typename Widget, typename... Args>
Widget* Named(const char* name, Args&&... args)
{
    auto* widget = new Widget(std::forward<Args>(args)...);
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QString Utf8(const char* text)
{
    return QString::fromUtf8(text);
}

// A group box of the 45-pixel top bar: its title on the frame, its controls
// in one row below it.
QHBoxLayout* TopBarRow(QGroupBox* box)
{
    box->setFixedHeight(kTopBarHeight);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(4, 0, 4, 2);
    row->setSpacing(4);
    return row;
}

} // namespace

void TMainForm::BuildControls()
{
    BuildStatusBar();

    PageControl1 = Named<QTabWidget>("PageControl1", this);
    setCentralWidget(PageControl1);
    for (int index = 0; index < kPageCount; ++index) {
        auto* sheet = Named<QWidget>("", PageControl1);
        sheet->setObjectName(QStringLiteral("TabSheet%1").arg(index + 1));
        m_tabSheets[std::size_t(index)] = sheet;
    }

    auto fillSheet = [this](int index, QWidget* content) {
        auto* layout = new QVBoxLayout(m_tabSheets[std::size_t(index)]);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        layout->addWidget(content);
    };
    fillSheet(0, BuildLivePage());
    FramePackDataMonitor1 = Named<PackDataMonitorFrame>("FramePackDataMonitor1");
    fillSheet(1, FramePackDataMonitor1);
    fillSheet(2, BuildRealTimePage());
    FramePackLocation1 = Named<PackLocationFrame>("FramePackLocation1");
    fillSheet(3, FramePackLocation1);
    FramePackParameter1 = Named<PackParameterFrame>("FramePackParameter1");
    fillSheet(4, FramePackParameter1);
    FramePackConfig1 = Named<TFramePackConfig>("FramePackConfig1");
    fillSheet(5, FramePackConfig1);
    FramePackWorkDataInfo1 = Named<TFramePackWorkDataInfo>("FramePackWorkDataInfo1");
    fillSheet(6, FramePackWorkDataInfo1);
    FramePackAlarmDataInfo1 = Named<TFramePackAlarmDataInfo>("FramePackAlarmDataInfo1");
    fillSheet(7, FramePackAlarmDataInfo1);

    for (int index = 0; index < kPageCount; ++index)
        PageControl1->addTab(m_tabSheets[std::size_t(index)], Utf8(kPageCaptions[std::size_t(index)]));
}

void TMainForm::BuildStatusBar()
{
    StatusBar1 = Named<QStatusBar>("StatusBar1", this);
    StatusBar1->setSizeGripEnabled(false);
    setStatusBar(StatusBar1);
    for (int panel = 0; panel < kStatusPanels; ++panel) {
        auto* label = new QLabel(Utf8(kPanelCaptions[std::size_t(panel)]), StatusBar1);
        label->setObjectName(QStringLiteral("StatusBar1Panel%1").arg(panel));
        label->setAlignment(Qt::AlignCenter);
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        const bool last = panel == kStatusPanels - 1;
        if (last)
            label->setMinimumWidth(kPanelWidths[std::size_t(panel)]);
        else
            label->setFixedWidth(kPanelWidths[std::size_t(panel)]);
        StatusBar1->addWidget(label, last ? 1 : 0);
        m_statusPanels[std::size_t(panel)] = label;
    }
    // A report beside the panels, never over them: a temporary status
    // message would hide all five. A long path takes no room from them.
    m_saveReport = Named<QLabel>("StatusBar1Report", StatusBar1);
    m_saveReport->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    StatusBar1->addPermanentWidget(m_saveReport, 2);
    // Shown only while it holds a report, so that an empty one takes no room
    // from the message panel.
    m_saveReport->hide();
    // While the port is open to listen only; the panels keep what the
    // heard packs fill in.
    m_listeningLabel = Named<QLabel>("StatusBar1Listening", StatusBar1);
    m_listeningLabel->setFrameShape(QFrame::Panel);
    m_listeningLabel->setFrameShadow(QFrame::Sunken);
    StatusBar1->addPermanentWidget(m_listeningLabel);
    m_listeningLabel->hide();
    m_saveReportTimer = new QTimer(this);
    m_saveReportTimer->setSingleShot(true);
    connect(m_saveReportTimer, &QTimer::timeout, m_saveReport, [this] {
        m_saveReport->clear();
        m_saveReport->hide();
    });
}

QWidget* TMainForm::BuildLivePage()
{
    auto* page = new QWidget;
    auto* split = new QHBoxLayout(page);
    split->setContentsMargins(0, 0, 0, 0);
    split->setSpacing(2);
    split->addWidget(BuildLiveLeft(page), 1);
    split->addWidget(BuildLiveRight(page), 0);
    return page;
}

QWidget* TMainForm::BuildLiveLeft(QWidget* page)
{
    auto* left = new QWidget(page);
    auto* column = new QVBoxLayout(left);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);

    auto* strip = new QWidget(left);
    strip->setFixedHeight(kLeftStripHeight);
    auto* stripRow = new QHBoxLayout(strip);
    stripRow->setContentsMargins(0, 0, 0, 0);
    stripRow->setSpacing(2);
    FramePackInfo1 = Named<TFramePackInfo>("FramePackInfo1", strip);
    FramePackInfo1->setFixedWidth(kPackInfoWidth);
    stripRow->addWidget(FramePackInfo1);

    auto* headBox = new QWidget(strip);
    auto* headColumn = new QVBoxLayout(headBox);
    headColumn->setContentsMargins(0, 0, 0, 0);
    headColumn->setSpacing(0);
    FramePackHead1 = Named<TFramePackHead>("FramePackHead1", headBox);
    FramePackHead1->setFixedHeight(kHeadHeight);
    // "Report…" beside the pack title: the bars on the right are full.
    auto* headRow = new QHBoxLayout;
    headRow->setContentsMargins(0, 0, 4, 0);
    headRow->addWidget(FramePackHead1, 1);
    BtnReport = Named<QPushButton>("BtnReport", Utf8("报告…"), headBox);
    headRow->addWidget(BtnReport, 0, Qt::AlignVCenter);
    headColumn->addLayout(headRow);
    FramePackTemperature1 = Named<TFramePackTemperature>("FramePackTemperature1", headBox);
    headColumn->addWidget(FramePackTemperature1, 1);
    stripRow->addWidget(headBox, 1);
    column->addWidget(strip);

    FramePackCellVoltage1 = Named<TFramePackCellVoltage>("FramePackCellVoltage1", left);
    column->addWidget(FramePackCellVoltage1, 1);
    return left;
}

QWidget* TMainForm::BuildLiveRight(QWidget* page)
{
    auto* right = new QWidget(page);
    right->setFixedWidth(kRightWidth);
    auto* column = new QVBoxLayout(right);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);

    // Top bar: link lamp, pack selection, serial port.
    auto* topBar = new QWidget(right);
    topBar->setFixedHeight(kTopBarHeight);
    auto* topRow = new QHBoxLayout(topBar);
    topRow->setContentsMargins(0, 0, 0, 0);
    topRow->setSpacing(2);

    GroupBox6 = Named<QGroupBox>("GroupBox6", Utf8("通信"), topBar);
    GroupBox6->setFixedWidth(kLinkGroupWidth);
    Shape1 = Named<TShape>("Shape1", GroupBox6);
    TopBarRow(GroupBox6)->addWidget(Shape1, 0, Qt::AlignCenter);
    topRow->addWidget(GroupBox6);

    GroupBox3 = Named<QGroupBox>("GroupBox3", QStringLiteral("Pack"), topBar);
    QHBoxLayout* packRow = TopBarRow(GroupBox3);
    Label2 = Named<QLabel>("Label2", Utf8("数量"), GroupBox3);
    Edit2 = Named<QLineEdit>("Edit2", GroupBox3);
    Edit2->setMaxLength(kPackCountLength);
    Edit2->setFrame(false);
    Edit2->setFixedWidth(28);
    BtnScan = Named<QPushButton>("BtnScan", Utf8("扫描"), GroupBox3);
    Label3 = Named<QLabel>("Label3", Utf8("地址"), GroupBox3);
    Label6 = Named<QLabel>("Label6", GroupBox3);
    Label6->setFixedWidth(24);
    Label6->setAlignment(Qt::AlignCenter);
    Label1 = Named<QLabel>("Label1", Utf8("Pack号"), GroupBox3);
    ComboBoxExt2 = Named<TComboBoxExt>("ComboBoxExt2", GroupBox3);
    ComboBoxExt2->setMinimumWidth(72);
    packRow->addWidget(Label2);
    packRow->addWidget(Edit2);
    packRow->addWidget(BtnScan);
    packRow->addSpacing(6);
    packRow->addWidget(Label3);
    packRow->addWidget(Label6);
    packRow->addSpacing(6);
    packRow->addWidget(Label1);
    packRow->addWidget(ComboBoxExt2, 1);
    topRow->addWidget(GroupBox3, 1);

    GroupBox1 = Named<QGroupBox>("GroupBox1", Utf8("串口"), topBar);
    GroupBox1->setFixedWidth(kPortGroupWidth);
    GroupBox1->setFixedHeight(kTopBarHeight);
    ComboBoxExt1 = Named<TComboBoxExt>("ComboBoxExt1", GroupBox1);
    BtnCom = Named<QPushButton>("BtnCom", Utf8("打开串口"), GroupBox1);
    // Ticked before the port opens: hear a bus another master polls. Below
    // the port button, so that the pack group keeps its width.
    CheckBoxListen = Named<QCheckBox>("CheckBoxListen", Utf8("仅监听"), GroupBox1);
    auto* portColumn = new QVBoxLayout(GroupBox1);
    portColumn->setContentsMargins(4, 0, 4, 2);
    portColumn->setSpacing(0);
    auto* portRow = new QHBoxLayout;
    portRow->setSpacing(4);
    portRow->addWidget(ComboBoxExt1, 1);
    portRow->addWidget(BtnCom);
    portColumn->addLayout(portRow);
    portColumn->addWidget(CheckBoxListen);
    topRow->addWidget(GroupBox1);
    column->addWidget(topBar);

    FramePackAlarm1 = new TFramePackAlarm(right);
    FramePackAlarm1->setObjectName(QStringLiteral("FramePackAlarm1"));
    column->addWidget(FramePackAlarm1, 1);

    // Bottom bar: clock sync, language, password.
    auto* bottomBar = new QWidget(right);
    bottomBar->setFixedHeight(kBottomBarHeight);
    auto* bottomRow = new QHBoxLayout(bottomBar);
    bottomRow->setContentsMargins(4, 0, 4, 0);
    bottomRow->setSpacing(2);
    CheckBox4 = Named<QCheckBox>("CheckBox4", Utf8("自动对时"), bottomBar);
    RadioButton1 = Named<QRadioButton>("RadioButton1", Utf8("中文版"), bottomBar);
    RadioButton2 = Named<QRadioButton>("RadioButton2", Utf8("英文版"), bottomBar);
    Label17 = Named<QLabel>("Label17", Utf8("请输入密码"), bottomBar);
    Edit1 = Named<QLineEdit>("Edit1", bottomBar);
    ShowPasswordAsStars(Edit1);
    Edit1->setMaxLength(kPasswordLength);
    Edit1->setAutoFillBackground(true);
    BtnChange = Named<QPushButton>("BtnChange", Utf8("更改"), bottomBar);
    BtnTraffic = Named<QPushButton>("BtnTraffic", Utf8("通信记录"), bottomBar);
    BtnChart = Named<QPushButton>("BtnChart", Utf8("曲线"), bottomBar);
    BtnMonitoring = Named<QPushButton>("BtnMonitoring", Utf8("监控输出"), bottomBar);
    // The row is tight in English: the captions keep their width and the
    // stretch gives way first.
    for (QWidget* caption : std::initializer_list<QWidget*>{CheckBox4, RadioButton1, RadioButton2})
        caption->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    bottomRow->addWidget(CheckBox4);
    bottomRow->addWidget(RadioButton1);
    bottomRow->addWidget(RadioButton2);
    bottomRow->addWidget(BtnTraffic);
    bottomRow->addWidget(BtnChart);
    bottomRow->addWidget(BtnMonitoring);
    bottomRow->addStretch(1);
    bottomRow->addWidget(Label17);
    bottomRow->addWidget(Edit1);
    bottomRow->addWidget(BtnChange);
    column->addWidget(bottomBar);
    return right;
}

QWidget* TMainForm::BuildRealTimePage()
{
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    PageControl2 = Named<QTabWidget>("PageControl2", page);
    PageControl2->setTabPosition(QTabWidget::South);
    column->addWidget(PageControl2, 1);

    auto* bottomBar = new QWidget(page);
    bottomBar->setFixedHeight(kBottomBarHeight);
    auto* row = new QHBoxLayout(bottomBar);
    row->setContentsMargins(8, 0, 8, 0);
    row->setSpacing(16);
    CheckBox1 = Named<QCheckBox>("CheckBox1", Utf8("显示记录"), bottomBar);
    CheckBox2 = Named<QCheckBox>("CheckBox2", Utf8("自动保存"), bottomBar);
    CheckBox3 = Named<QCheckBox>("CheckBox3", Utf8("自动滚屏"), bottomBar);
    row->addWidget(CheckBox1);
    row->addWidget(CheckBox2);
    row->addWidget(CheckBox3);
    row->addStretch(1);
    column->addWidget(bottomBar);
    return page;
}

void TMainForm::ConnectHandlers()
{
    connect(BtnCom, &QPushButton::clicked, this, &TMainForm::BtnComClick);
    // Only a choice of the user runs the handler: refilling the list after a
    // new pack count leaves the selection state alone.
    connect(ComboBoxExt2, &QComboBox::activated, this, &TMainForm::ComboBoxExt2Change);
    connect(ComboBoxExt1, &QComboBox::currentIndexChanged, this, &TMainForm::ShowPortDevices);
    connect(Edit1, &QLineEdit::textChanged, this, &TMainForm::Edit1Change);
    // The user's edits only: the handler rewrites "25" as "16" itself.
    connect(Edit2, &QLineEdit::textEdited, this, &TMainForm::Edit2Change);
    Edit2->installEventFilter(this);
    connect(RadioButton1, &QRadioButton::clicked, this, &TMainForm::RadioButton1Click);
    connect(RadioButton2, &QRadioButton::clicked, this, &TMainForm::RadioButton2Click);
    connect(BtnChange, &QPushButton::clicked, this, &TMainForm::BtnChangeClick);
    connect(BtnTraffic, &QPushButton::clicked, this, &TMainForm::BtnTrafficClick);
    connect(BtnScan, &QPushButton::clicked, this, &TMainForm::BtnScanClick);
    connect(BtnChart, &QPushButton::clicked, this, &TMainForm::BtnChartClick);
    connect(BtnMonitoring, &QPushButton::clicked, this, &TMainForm::BtnMonitoringClick);
    connect(BtnReport, &QPushButton::clicked, this, &TMainForm::BtnReportClick);
    connect(CheckBox1, &QCheckBox::clicked, this, &TMainForm::CheckBox1Click);
    connect(CheckBox2, &QCheckBox::clicked, this, &TMainForm::CheckBox2Click);
    connect(CheckBox3, &QCheckBox::clicked, this, &TMainForm::CheckBox3Click);
    connect(CheckBox4, &QCheckBox::clicked, this, &TMainForm::CheckBox4Click);
    connect(PageControl1, &QTabWidget::currentChanged, this, &TMainForm::PageControl1Change);
    connect(FramePackWorkDataInfo1->readButton(), &QPushButton::clicked, this,
            &TMainForm::FramePackWorkDataInfo1BtnReadClick);
    connect(FramePackAlarmDataInfo1->readButton(), &QPushButton::clicked, this,
            &TMainForm::FramePackAlarmDataInfo1BtnReadClick);
}
