#include "app/main_form.h"

#include "app/app_objects.h"
#include "app/lamp_shape.h"
#include "services/family_settings.h"
#include "services/settings.h"
#include "services/text_ids.h"
#include "services/textoper.h"
#include "store/bus_worker.h"
#include "store/devinfo.h"
#include "store/running_jobs.h"
#include "store/report_texts.h"
#include "store/thread_pack.h"
#include "views/comboboxext.h"
#include "views/framepackalarm.h"
#include "views/framepackcellvoltage.h"
#include "views/framepackhead.h"
#include "views/framepackinfo.h"
#include "views/framepacktemperature.h"
#include "views/overview_layout.h"
#include "views/traffic_console.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>

namespace {

constexpr int kWindowWidth = 1200;
constexpr int kWindowHeight = 700;
constexpr int kLivePage = 0;
constexpr int kMonitorPage = 1;
constexpr int kLocationPage = 3;

constexpr std::array<std::uint16_t, TMainForm::kPageCount> kPageTextIds = {
    TextId::kTabLiveMonitor, TextId::kTabParallelMonitor, TextId::kTabRealTimeData, TextId::kTabCommunication,
    TextId::kTabParameters, TextId::kTabSystemConfig, TextId::kTabDataRecords, TextId::kTabAlarmRecords};

QString Text(std::uint16_t id)
{
    return TTextOper().GetLanguageText(id);
}

} // namespace

TMainForm::TMainForm(const QString& programFolder, QWidget* parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MainForm"));
    m_portTimer = new QTimer(this);
    m_portTimer->setSingleShot(true);
    connect(m_portTimer, &QTimer::timeout, this, &TMainForm::FinishOpening);
    BuildControls();
    ConnectHandlers();
    FormCreate(programFolder);
}

TMainForm::~TMainForm()
{
    // The store outlives the jobs and the thread: stop them before anything
    // is freed (a record transfer's stop request goes out before the port
    // closes).
    RunningJobs::StopAll();
    StopPolling();
    m_portTimer->stop();
    // Listening is this window's port mode: it ends with the window.
    Globals().Listening = false;
    if (!m_closed && Store()) {
        Store()->CloseSerial(Globals().PortNumber);
        FreeStore();
    }
}

TDevInfo* TMainForm::Store() const
{
    return GlobalDevInfo();
}

// ---- Start-up.

void TMainForm::FormCreate(const QString& programFolder)
{
    AppGlobals& globals = Globals();
    resize(kWindowWidth, kWindowHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    if (programFolder.isEmpty())
        LoadSettings();
    else
        LoadSettings(programFolder);
    CreateGlobalObjects();
    // The families the user pinned in BMS.ini, before anything is sent.
    ApplyFamilyConfig(Store()->DevOper());

    // Checking a language button runs its click behaviour.
    if (globals.Language == TTextOper::English) {
        RadioButton2->setChecked(true);
        RadioButton2Click();
    } else {
        RadioButton1->setChecked(true);
        RadioButton1Click();
    }

    ClearStatusPanels(0, kStatusPanels - 1);

    for (int pack = 1; pack <= kMaxPacks; ++pack) {
        auto* frame = new RealTimeDataFrame(*Store(), PageControl2);
        frame->setObjectName(QStringLiteral("FrameRealTimeData%1").arg(pack));
        connect(frame, &RealTimeDataFrame::saveReported, this, &TMainForm::ShowSaveReport);
        PageControl2->addTab(frame, QStringLiteral("PackNo.%1").arg(pack, 2, 10, QLatin1Char('0')));
        frame->InitGrid();
        m_realTimeFrames.append(frame);
    }

    Edit2->setText(QString::number(globals.PackCount));
    Edit2->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), Edit2));
    CheckBox1->setChecked(globals.DisplayRecord);
    CheckBox2->setChecked(globals.AutoSave);

    SetCommState(0);
    Store()->FillPortList(*ComboBoxExt1, globals.PortNumber, true);
    ShowPortDevices();
    Store()->FillPackList(*ComboBoxExt2, globals.PackCount, true, globals.PackRead);
    ComboBoxExt2Change();

    FramePackWorkDataInfo1->SetStore(Store());
    FramePackAlarmDataInfo1->SetStore(Store());
    FramePackWorkDataInfo1->InitGrid();
    FramePackAlarmDataInfo1->InitGrid();
    FramePackParameter1->SetStore(Store());
    FramePackParameter1->InitPage();
    FramePackConfig1->SetStore(Store());
    FramePackConfig1->InitPage();
    // One runner for every page command: the exchange leaves this thread,
    // and one command runs at a time.
    m_pageRunner = new TBusWorker(this);
    FramePackParameter1->SetRunner(m_pageRunner);
    FramePackConfig1->SetRunner(m_pageRunner);
    FramePackAlarm1->SetStore(Store());
    FramePackAlarm1->SetRunner(m_pageRunner);

    PageControl1->setCurrentIndex(kLivePage);
    Edit2->setAlignment(Qt::AlignCenter);
    ApplyLanguage();
    // A plant-room PC feeds its database from the start.
    ApplyMonitoring(ReadMonitoringSettings());
}

void TMainForm::ApplyLanguage()
{
    const AppGlobals& globals = Globals();
    // The application title stays out of Qt's application display name:
    // the window system integration appends that name to every top-level
    // caption ("caption — name"), and the window and every message box
    // must read exactly their own caption.
    setWindowTitle(QStringLiteral("KESTAV  ( ") + globals.Version + QStringLiteral(" )"));
    RadioButton1->setText(Text(TextId::kChineseVersion));
    RadioButton2->setText(Text(TextId::kEnglishVersion));
    // The English button always reads in English, so that a user who cannot
    // read the current language finds it.
    RadioButton2->setText(QStringLiteral("English"));
    Label17->setText(Text(TextId::kEnterPassword));
    BtnChange->setText(Text(TextId::kChangePasswordButton));
    BtnTraffic->setText(Text(TextId::kTrafficConsole));
    BtnScan->setText(Text(TextId::kScanButton));
    if (m_trafficConsole)
        m_trafficConsole->ApplyLanguage();
    BtnChart->setText(Text(TextId::kChart));
    BtnMonitoring->setText(Text(TextId::kMonitoringButton));
    // The bottom row is tight in English: these buttons may narrow to
    // their caption before the captions beside them are cut.
    for (QPushButton* button : {BtnTraffic, BtnChart, BtnMonitoring, BtnChange})
        button->setMinimumWidth(button->fontMetrics().horizontalAdvance(button->text()) + 16);
    BtnReport->setText(Text(ReportText::kReportButton));
    if (m_chartWindow)
        m_chartWindow->ApplyLanguage();
    GroupBox6->setTitle(Text(TextId::kLinkGroup));
    GroupBox1->setTitle(Text(TextId::kPortGroup));
    Label2->setText(Text(TextId::kPackCountLabel));
    Label3->setText(Text(TextId::kAddressLabel));
    Label1->setText(Text(TextId::kPackNumberLabel));
    for (int index = 0; index < kPageCount; ++index)
        PageControl1->setTabText(index, Text(kPageTextIds[std::size_t(index)]));
    CheckBox1->setText(Text(TextId::kShowRecords));
    CheckBox2->setText(Text(TextId::kAutoSave));
    CheckBox3->setText(Text(TextId::kAutoScroll));
    CheckBox4->setText(Text(TextId::kAutoTimeSync));
    CheckBoxListen->setText(Text(TextId::kListenOnly));
    CheckBoxListen->setToolTip(Text(TextId::kListenOnlyHint));
    m_listeningLabel->setText(Text(TextId::kListeningNothingSent));

    for (RealTimeDataFrame* frame : m_realTimeFrames)
        frame->ApplyLanguage();
    FramePackInfo1->ApplyLanguage();
    FramePackTemperature1->ApplyLanguage();
    FramePackCellVoltage1->ApplyLanguage();
    FramePackAlarm1->ApplyLanguage();
    FramePackLocation1->ApplyLanguage();

    SetPortState(m_portState);
}

// ---- Views of the pack in focus.

void TMainForm::RebuildViews()
{
    const AppGlobals& globals = Globals();
    FramePackHead1->ShowPackHead(globals.SelectedPack);
    if (Store())
        FramePackHead1->ShowFamily(Store()->DevOper().FamilyState(globals.SelectedAddress).family);
    FramePackInfo1->InitGrid();
    FramePackTemperature1->InitGrid();
    FramePackCellVoltage1->InitGrid();
    FramePackDataMonitor1->InitGrid();
    FramePackLocation1->ClearLocation();
    Label6->clear();
    const std::uint8_t address = globals.SelectedAddress;
    if (address <= globals.PackCount)
        Label6->setText(QString::number(int(address) - 1));
}

std::uint8_t TMainForm::ShownPack() const
{
    const AppGlobals& globals = Globals();
    if (globals.Listening && !globals.AutoPolling)
        return Store()->PackNumberOfAddress(globals.PackRead);
    return globals.SelectedPack;
}

bool TMainForm::HeardPackShown() const
{
    return ShownPack() == Globals().SelectedPack;
}

RPackFocus TMainForm::CurrentFocus() const
{
    const AppGlobals& globals = Globals();
    return RPackFocus{globals.SelectedPack.load(), globals.SelectedAddress.load()};
}

RPolledView TMainForm::CurrentView() const
{
    RPolledView view;
    view.focus = CurrentFocus();
    view.analog = Store()->GetAnalogData(view.focus.pack);
    view.alarm = Store()->GetAlarmData(view.focus.pack);
    view.location = Store()->GetLocationData(view.focus.pack);
    return view;
}

bool TMainForm::HeardPackShown(const RPackFocus& focus) const
{
    return ShownPack() == focus.pack;
}

void TMainForm::RefreshHead()
{
    RefreshHead(CurrentFocus());
}

void TMainForm::RefreshHead(const RPackFocus& focus)
{
    // A refresh still on its way when the window began closing shows
    // nothing: the store and the logs go.
    if (m_closing || !HeardPackShown(focus))
        return;
    FramePackHead1->ShowPackHead(focus.pack);
    FramePackHead1->ShowFamily(Store()->DevOper().FamilyState(focus.address).family);
    Label6->setText(QString::number(int(focus.address) - 1));
}

void TMainForm::RefreshAnalog()
{
    RefreshAnalog(CurrentView());
}

void TMainForm::RefreshAnalog(const RPolledView& view)
{
    if (m_closing)
        return;
    const RAnalogData& analog = view.analog;
    const RAlarmData& alarm = view.alarm;
    // Every reading goes to its pack's log, whatever page is shown.
    if (analog.packNumber >= 1 && analog.packNumber <= m_realTimeFrames.size())
        m_realTimeFrames[analog.packNumber - 1]->AddRecord(analog, alarm);
    switch (Globals().ActivePage.load()) {
    case kLivePage:
        if (!HeardPackShown(view.focus))
            break;
        // The reading says whose layout it had; before the first one the
        // family found or pinned for the address does.
        FramePackHead1->ShowFamily(IsForeign(analog.family)
                                       ? analog.family
                                       : Store()->DevOper().FamilyState(view.focus.address).family);
        FramePackInfo1->ShowData(analog, alarm);
        FramePackTemperature1->ShowData(analog, alarm);
        FramePackCellVoltage1->ShowData(analog, alarm);
        break;
    case kMonitorPage:
        ShowMonitorColumn(analog);
        break;
    case kLocationPage:
        if (HeardPackShown(view.focus))
            FramePackLocation1->ShowLocation(view.location);
        break;
    default:
        break;
    }
}

void TMainForm::RefreshAlarm()
{
    RefreshAlarm(CurrentView());
}

void TMainForm::RefreshAlarm(const RPolledView& view)
{
    if (!m_closing && HeardPackShown(view.focus))
        FramePackAlarm1->ShowAlarmData(view.alarm);
}

void TMainForm::RefreshLocation(const RPolledView& view)
{
    if (!m_closing && HeardPackShown(view.focus))
        FramePackLocation1->ShowLocation(view.location);
}

void TMainForm::ShowMonitorColumn()
{
    ShowMonitorColumn(Store()->GetAnalogData(Globals().SelectedPack));
}

void TMainForm::ShowMonitorColumn(const RAnalogData& analog)
{
    FramePackDataMonitor1->ShowPackColumn(analog);
}

void TMainForm::RefreshParameters()
{
    FramePackParameter1->InitPage();
    FramePackParameter1->ShowPackInFocus();
}

void TMainForm::SetCommState(int state)
{
    if (m_closing)
        return;
    static constexpr std::array<std::uint32_t, 3> kLampBgr = {kBgrRed, kBgrGreen, 0x00FFFF};
    if (state < 0 || state >= int(kLampBgr.size()))
        return;
    Shape1->setBrushColor(ColorFromBgr(kLampBgr[std::size_t(state)]));
}

// ---- Status bar.

void TMainForm::SetStatusPanel(int panel, const QString& text)
{
    if (panel >= 0 && panel < kStatusPanels)
        m_statusPanels[std::size_t(panel)]->setText(text);
}

void TMainForm::ShowSaveReport(const QString& message)
{
    // While closing, the reports are gathered into one box at the end.
    if (m_closing) {
        m_closeReports << message;
        return;
    }
    // Beside the panels until the user has had time to read it; the logs
    // keep running meanwhile.
    constexpr int kSaveReportMs = 60000;
    m_saveReport->setText(message);
    m_saveReport->setToolTip(message);
    m_saveReport->show();
    m_saveReportTimer->start(kSaveReportMs);
}

void TMainForm::ClearStatusPanels(int first, int last)
{
    for (int panel = first; panel <= last; ++panel)
        SetStatusPanel(panel, QString());
}

void TMainForm::ShowPackPanels(bool shown)
{
    for (int panel = 1; panel <= 3; ++panel)
        m_statusPanels[std::size_t(panel)]->setVisible(shown);
}

QString TMainForm::StatusPanelText(int panel) const
{
    return panel >= 0 && panel < kStatusPanels ? m_statusPanels[std::size_t(panel)]->text() : QString();
}

void TMainForm::ShowPackTime(const RDeviceTime& packTime, std::uint8_t lastResult)
{
    ShowPackTime(packTime, lastResult, CurrentFocus());
}

void TMainForm::ShowPackTime(const RDeviceTime& packTime, std::uint8_t lastResult, const RPackFocus& focus)
{
    if (m_closing || !HeardPackShown(focus))
        return;
    // A pass over all packs shows no single clock or error.
    if (Globals().AutoPolling) {
        ClearStatusPanels(0, 0);
        ClearStatusPanels(4, 4);
        return;
    }
    SetStatusPanel(0, FormatDeviceTime(packTime));
    SetStatusPanel(4, lastResult != 0 ? TTextOper().GetErrorText(lastResult) : QString());
}

void TMainForm::ShowStatus(std::uint16_t softwareVersion, const QString& barCode, std::uint8_t echoedPack,
                           const RPackFocus& focus)
{
    // While every pack is polled in turn, version and bar code stay empty:
    // a cycle of the single pack chosen before may still be finishing.
    if (m_closing || !HeardPackShown(focus))
        return;
    const bool single = !Globals().AutoPolling;
    SetStatusPanel(1, single ? SoftwareVersionText(softwareVersion) : QString());
    SetStatusPanel(2, single ? barCode : QString());
    SetStatusPanel(3, QString::number(echoedPack));
}

// ---- Polling thread.

void TMainForm::StartPolling()
{
    StopPolling();
    m_thread = std::make_unique<TThreadPack>(
        *Store(), Globals(), Globals().Listening ? TThreadPack::Mode::Listen : TThreadPack::Mode::Poll);
    m_thread->SetPlan(PollPlan());
    m_thread->SetSampleSink(m_outputs.Sink());
    // Each signal carries copies of what it shows and is emitted here, on
    // this thread, by the thread object's Deliver; the thread goes on
    // without waiting for the window. Nothing is delivered after the
    // thread object has gone with StopPolling or this window.
    TThreadPack* thread = m_thread.get();
    connect(thread, &TThreadPack::refreshHead, this, qOverload<const RPackFocus&>(&TMainForm::RefreshHead));
    connect(thread, &TThreadPack::commStateChanged, this, &TMainForm::SetCommState);
    connect(thread, &TThreadPack::packTimeShown, this,
            qOverload<const RDeviceTime&, std::uint8_t, const RPackFocus&>(&TMainForm::ShowPackTime));
    connect(thread, &TThreadPack::statusShown, this, &TMainForm::ShowStatus);
    connect(thread, &TThreadPack::refreshAnalog, this, qOverload<const RPolledView&>(&TMainForm::RefreshAnalog));
    connect(thread, &TThreadPack::refreshAlarm, this, qOverload<const RPolledView&>(&TMainForm::RefreshAlarm));
    connect(thread, &TThreadPack::refreshLocation, this, &TMainForm::RefreshLocation);
    // Only the loss of the thread running now counts. Queued: the answer
    // stops and frees the thread object, which must not happen inside its
    // own Deliver.
    const quint64 session = ++m_pollSession;
    connect(thread, &TThreadPack::portLost, this, [this, session] {
        if (session == m_pollSession)
            PortLost();
    }, Qt::QueuedConnection);
    m_thread->start();
}

RPollPlan TMainForm::PollPlan() const
{
    const AppGlobals& globals = Globals();
    const int page = globals.ActivePage.load();
    RPollPlan plan;
    plan.idle = page >= kFirstCommandPage;
    plan.packRows = globals.PackCount.load();
    plan.allPacks = globals.AutoPolling.load();
    plan.clockSync = globals.ClockSync.load();
    plan.readLocation = page == kLocationPage;
    return plan;
}

void TMainForm::UpdatePollPlan()
{
    if (m_thread)
        m_thread->SetPlan(PollPlan());
}

void TMainForm::StopPolling()
{
    if (!m_thread)
        return;
    // Stop() returns when the thread has ended: it waits for nothing of the
    // window's, so no event loop runs meanwhile.
    m_thread->Stop();
    // What the thread queued before it ended (its last readings, the red
    // lamp) is shown now, in order, rather than after whatever the caller
    // does next; its own lost port is not news any more.
    ++m_pollSession;
    m_thread->Deliver();
    m_thread.reset();
}
