// The handlers of the main window's controls and its closing steps.

#include "app/main_form.h"

#include "app/lamp_shape.h"
#include "views/message_boxes.h"
#include "views/port_check.h"
#include "services/password_store.h"
#include "services/port_settings.h"
#include "services/settings.h"
#include "services/text_table.h"
#include "services/text_ids.h"
#include "services/textoper.h"
#include "store/devinfo.h"
#include "store/port_open.h"
#include "store/running_jobs.h"
#include "views/comboboxext.h"
#include "views/framepackalarm.h"
#include "views/framepackcellvoltage.h"
#include "views/framepackinfo.h"
#include "views/framepacktemperature.h"
#include "views/overview_layout.h"
#include "views/pwdmodifyform.h"
#include "views/report_form.h"
#include "views/scan_form.h"
#include "views/traffic_console.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QTime>
#include <QTabWidget>

namespace {

constexpr int kPortSwitchPause = 1000;
constexpr int kCloseStopPause = 500;
constexpr int kClosePortPause = 1000;
constexpr int kCloseFreePause = 500;
constexpr int kMonitorPage = 1;
constexpr int kRealTimePage = 2;
constexpr int kLocationPage = 3;
constexpr int kParameterPage = 4;
constexpr int kConfigPage = 5;
constexpr int kWorkDataPage = 6;
constexpr int kAlarmRecordPage = 7;
// The caption of the box that shows why a port did not open.
constexpr const char* kOpenErrorCaption = "Information prompt";
constexpr std::uint32_t kBgrWhite = 0xFFFFFF;

QString Text(std::uint16_t id)
{
    return TTextOper().GetLanguageText(id);
}

void SetFieldColour(QLineEdit* edit, std::uint32_t bgr)
{
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, ColorFromBgr(bgr));
    edit->setPalette(palette);
}

std::uint8_t PortOfItem(const QString& value)
{
    const int port = value.toInt();
    return port >= 1 && port <= kMaxPacks ? std::uint8_t(port) : std::uint8_t(0);
}

} // namespace

// ---- Serial port.

void TMainForm::BtnComClick()
{
    if (m_switchingPort || m_closing)
        return;
    if (ComboBoxExt1->count() == 0) {
        MessageBoxes::Inform(this, Text(TextId::kNoSerialPort));
        return;
    }
    // The waits below keep the event loop running; a second click meanwhile
    // is not a second switch.
    const QScopedValueRollback<bool> switching(m_switchingPort, true);
    AppGlobals& globals = Globals();
    TDevInfo& store = *Store();

    if (IsLinkOpen()) {
        // A job under way (a bus job, the scan, a record transfer) ends
        // after its exchange and is joined before the port goes, so that no
        // pack is left half written and none is called silent for it.
        RunningJobs::InterruptAll();
        globals.PortOpened = false;
        StopPolling();
        store.CloseSerial(globals.PortNumber);
        ShowListening(false);
        Delay(kPortSwitchPause);
        ComboBoxExt1->setEnabled(true);
        BtnCom->setText(Text(TextId::kOpenPort));
        store.ClearStatus();
        ClearStatusPanels(0, 3);
        return;
    }

    const std::uint8_t port = PortOfItem(ComboBoxExt1->selectedValue());
    if (port == 0)
        return;
    globals.PortNumber = port;
    const bool opened = OpenPort(store, port, ResolvePortDevice(port), [] {
        Delay(kPortSwitchPause);
        return true;
    });
    if (opened) {
        globals.PortOpened = true;
        ShowListening(CheckBoxListen->isChecked());
        ShowPackPanels(true);
        ClearStatusPanels(0, 0);
        ClearStatusPanels(4, 4);
        WriteSetting(QStringLiteral("Port"), port);
        ComboBoxExt1->setEnabled(false);
        BtnCom->setText(Text(TextId::kClosePort));
        StartPolling();
    } else {
        ComboBoxExt1->setEnabled(true);
        BtnCom->setText(Text(TextId::kOpenPort));
        StopPolling();
        const QString why = store.DevOper().LastOpenError();
        if (!why.isEmpty())
            MessageBoxes::Inform(this, QLatin1String(kOpenErrorCaption), why);
    }
}

void TMainForm::PortLost()
{
    // The polling thread has ended by itself; a click on the port button
    // under way deals with the port on its own.
    if (!m_thread || m_switchingPort || m_closing)
        return;
    AppGlobals& globals = Globals();
    TDevInfo& store = *Store();
    StopPolling();
    globals.PortOpened = false;
    store.CloseSerial(globals.PortNumber);
    ShowListening(false);
    SetCommState(0);
    ComboBoxExt1->setEnabled(true);
    BtnCom->setText(Text(TextId::kOpenPort));
    store.ClearStatus();
    ClearStatusPanels(0, 3);
    // The values still on screen stay for reference, marked with the time
    // they stopped being fresh; the message gets the room of the pack's
    // panels so that it is read whole at the window's default size.
    ShowPackPanels(false);
    SetStatusPanel(0, Text(TextId::kValuesAsOf).arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss"))));
    SetStatusPanel(4, Text(TextId::kPortWentAway).arg(PortName(store, globals.PortNumber)));
}

void TMainForm::ShowListening(bool listening)
{
    AppGlobals& globals = Globals();
    // The listener moved the focus to each pack it heard; the pages that
    // send talk to the pack chosen in "Pack No." again.
    if (globals.Listening && !listening && !globals.AutoPolling) {
        globals.SelectedAddress = globals.PackRead.load();
        globals.SelectedPack = Store()->PackNumberOfAddress(globals.PackRead);
    }
    globals.Listening = listening;
    m_listeningLabel->setVisible(listening);
    // The mode is chosen before the port opens and holds until it closes.
    CheckBoxListen->setEnabled(!IsLinkOpen());
}

bool TMainForm::IsLinkOpen() const
{
    // A polling thread that is reconnecting has the port closed for a
    // moment; the link is still the user's open link, and the button must
    // close it rather than open it a second time.
    return m_thread != nullptr || (Store() && Store()->IsSerialOpen(Globals().PortNumber));
}

void TMainForm::ShowPortDevices()
{
    if (!Store())
        return;
    for (int index = 0; index < ComboBoxExt1->count(); ++index) {
        const std::uint8_t port = PortOfItem(ComboBoxExt1->valueAt(index));
        const QString device = port != 0 ? ResolvePortDevice(port).link.device : QString();
        const QString hint = ComboBoxExt1->itemText(index) + QStringLiteral(": ")
            + (device.isEmpty() ? QStringLiteral("-") : device);
        ComboBoxExt1->setItemData(index, hint, Qt::ToolTipRole);
        ComboBoxExt1->setItemData(index, hint, Qt::StatusTipRole);
    }
    const QString selected = ComboBoxExt1->itemData(ComboBoxExt1->currentIndex(), Qt::ToolTipRole).toString();
    ComboBoxExt1->setToolTip(selected);
    ComboBoxExt1->setStatusTip(selected);
}

// ---- Pack selection.

void TMainForm::ComboBoxExt2Change()
{
    AppGlobals& globals = Globals();
    TDevInfo& store = *Store();
    const int value = ComboBoxExt2->selectedValue().toInt();
    const std::uint8_t address = value >= 0 && value <= 255 ? std::uint8_t(value) : std::uint8_t(0);
    globals.SelectedAddress = address;
    globals.SelectedPack = store.PackNumberOfAddress(address);
    globals.PackRead = address;

    if (globals.SelectedPack != 0) {
        globals.AutoPolling = false;
        store.SelectPack(globals.SelectedPack);
        if (m_chartWindow)
            m_chartWindow->FollowPack(globals.SelectedPack);
    } else {
        globals.AutoPolling = true;
        store.SelectAllPacks();
        // No single clock, version, bar code or error belongs to a pass
        // over all packs; the clock error of the pack chosen before goes too.
        ClearStatusPanels(0, 2);
        ClearStatusPanels(4, 4);
    }

    RebuildViews();
    RefreshAnalog();
    RefreshAlarm();
    FramePackInfo1->ApplyLanguage();
    FramePackTemperature1->ApplyLanguage();
    FramePackCellVoltage1->ApplyLanguage();
    FramePackAlarm1->ApplyLanguage();
    FramePackLocation1->ApplyLanguage();
    // A set or a value read from the pack chosen before is never offered
    // for writing to this one as if it were its own.
    RefreshParameters();
    FramePackConfig1->ShowValueOrigins();

    UpdatePageVisibility();
    UpdatePollPlan();
    WriteSetting(QStringLiteral("PackRead"), globals.PackRead);
}

void TMainForm::UpdatePageVisibility()
{
    // While several packs are polled in turn, the pages that send their own
    // commands would not know which pack they talk to.
    const bool showCommandPages = !Store()->IsMultiPackPolling();
    for (int index = kFirstCommandPage; index < kPageCount; ++index)
        PageControl1->setTabVisible(index, showCommandPages);
}

bool TMainForm::Edit2KeyPress(const QKeyEvent& key) const
{
    const QString text = key.text();
    if (text.isEmpty())
        return false;   // cursor and editing keys carry no character
    // Backspace, Enter and shortcuts such as Ctrl+A are control characters
    // and pass; of the characters that would be typed only digits do.
    const QChar character = text.front();
    if (!character.isPrint())
        return false;
    return character < QLatin1Char('0') || character > QLatin1Char('9');
}

void TMainForm::Edit2Change()
{
    AppGlobals& globals = Globals();
    const QString text = Edit2->text();
    if (text.isEmpty()) {
        globals.PackCount = 1;
    } else {
        const int typed = text.toInt();
        if (typed > kMaxPacks) {
            globals.PackCount = kMaxPacks;
            Edit2->setText(QString::number(kMaxPacks));
        } else {
            // "0" is no pack count; the settings hold at least one pack.
            globals.PackCount = std::uint8_t(std::max(typed, 1));
        }
    }
    UpdatePollPlan();
    WriteSetting(QStringLiteral("PackCount"), globals.PackCount);
    Store()->FillPackList(*ComboBoxExt2, globals.PackCount, true, globals.PackRead);
}

void TMainForm::SetPackCount(int count)
{
    Edit2->setText(QString::number(count));
    Edit2Change();
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Edit2 && event->type() == QEvent::KeyPress)
        return Edit2KeyPress(*static_cast<QKeyEvent*>(event));
    return QMainWindow::eventFilter(watched, event);
}

// ---- Password and language.

void TMainForm::Edit1Change()
{
    AppGlobals& globals = Globals();
    globals.PasswordOk = Edit1->text() == globals.StoredPassword;
    SetFieldColour(Edit1, globals.PasswordOk ? kBgrGreen : kBgrWhite);
    // The control-test group is offered to whoever knows the password.
    FramePackAlarm1->SetControlTestVisible(globals.PasswordOk);
}

void TMainForm::BtnChangeClick()
{
    AppGlobals& globals = Globals();
    TPwdModifyForm dialog(globals.StoredPassword, this);
    dialog.Run();
    const QString newPassword = dialog.NewPassword();
    if (newPassword.isEmpty())
        return;
    SavePassword(newPassword);
    globals.StoredPassword = TrimText(ReadPassword());
    // Success only when the store gives the new password back.
    MessageBoxes::Inform(this, Text(globals.StoredPassword == newPassword ? TextId::kPasswordChanged
                                                                          : TextId::kPasswordNotSaved));
}

void TMainForm::SetLanguage(std::uint8_t language)
{
    Globals().Language = language;
    TTextOper().SetLanguage(language);
    InitTitleTexts();
    ApplyLanguage();
    WriteSetting(QStringLiteral("TextKind"), language);
}

void TMainForm::RadioButton1Click()
{
    SetLanguage(TTextOper::SimplifiedChinese);
}

void TMainForm::RadioButton2Click()
{
    SetLanguage(TTextOper::English);
}

// ---- Options.

void TMainForm::CheckBox1Click()
{
    Globals().DisplayRecord = CheckBox1->isChecked();
    WriteSetting(QStringLiteral("DisplayRecord"), CheckBox1->isChecked() ? 1 : 0);
}

void TMainForm::CheckBox2Click()
{
    Globals().AutoSave = CheckBox2->isChecked();
    WriteSetting(QStringLiteral("AutoSave"), CheckBox2->isChecked() ? 1 : 0);
}

void TMainForm::CheckBox3Click()
{
    Globals().AutoScroll = CheckBox3->isChecked();
}

void TMainForm::CheckBox4Click()
{
    Globals().ClockSync = CheckBox4->isChecked();
    UpdatePollPlan();
}

// ---- Pages.

void TMainForm::PageControl1Change(int index)
{
    if (index < 0)
        return;
    const AppGlobals& globals = Globals();
    Globals().ActivePage = std::uint8_t(index);
    UpdatePollPlan();
    switch (index) {
    case kMonitorPage:
        FramePackDataMonitor1->InitGrid();
        ShowMonitorColumn();
        break;
    case kRealTimePage:
        for (int page = 0; page < PageControl2->count(); ++page)
            PageControl2->setTabVisible(page, page < globals.PackCount);
        if (globals.SelectedPack != 0)
            PageControl2->setCurrentIndex(globals.SelectedPack - 1);
        break;
    case kLocationPage:
        FramePackLocation1->ApplyLanguage();
        break;
    case kParameterPage:
        RefreshParameters();
        FramePackParameter1->ApplyLanguage();
        break;
    case kConfigPage:
        FramePackConfig1->InitPage();
        FramePackConfig1->ApplyLanguage();
        break;
    case kWorkDataPage:
        FramePackWorkDataInfo1->ApplyLanguage();
        break;
    case kAlarmRecordPage:
        FramePackAlarmDataInfo1->ApplyLanguage();
        break;
    default:
        break;
    }
}

// ---- Record pages.

void TMainForm::FramePackWorkDataInfo1BtnReadClick()
{
    FramePackWorkDataInfo1->BtnReadClick();
}

void TMainForm::FramePackAlarmDataInfo1BtnReadClick()
{
    FramePackAlarmDataInfo1->BtnReadClick();
}

// ---- Closing.

bool TMainForm::FormCloseQuery()
{
    if (MessageBoxes::Ask(this, Text(TextId::kConfirmExit)) != MessageBoxes::Answer::Ok)
        return false;
    m_closing = true;
    setEnabled(false);
    // Every job that uses the store (bus jobs, the bus scan, record
    // transfers, which send their stop request first) is cancelled and
    // joined here, before the port closes and the store goes; none of them
    // shows anything from now on. A dialog such a job ran in closes too.
    RunningJobs::StopAll();
    for (QDialog* dialog : findChildren<QDialog*>())
        if (dialog->isVisible())
            dialog->reject();
    StopPolling();
    // What the writer holds is sent for a moment, the rest kept in its spool.
    m_outputs.Stop();
    Delay(kCloseStopPause);
    if (TDevInfo* store = Store())
        store->CloseSerial(Globals().PortNumber);
    Delay(kClosePortPause);
    // Each log that holds readings is saved and its page freed. Where a log
    // went elsewhere or could not be saved is told before the program ends
    // (the reports arrive through ShowSaveReport).
    for (RealTimeDataFrame* frame : std::as_const(m_realTimeFrames)) {
        frame->AutoSaveRecords();
        delete frame;
    }
    m_realTimeFrames.clear();
    if (!m_closeReports.isEmpty())
        MessageBoxes::Inform(this, m_closeReports.join(QLatin1Char('\n')));
    Delay(kCloseFreePause);
    // The chart window and the traffic console read the store on timers of
    // their own and outlive a closed main window until the program ends:
    // they go before the store does.
    delete m_chartWindow.data();
    delete m_trafficConsole.data();
    FreeGlobals();
    m_closed = true;
    return true;
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    // The closing steps wait with the event loop running: a second close
    // request meanwhile is ignored, and a closed window stays closed.
    if (m_closed) {
        event->accept();
        return;
    }
    if (m_closing || !FormCloseQuery()) {
        event->ignore();
        return;
    }
    event->accept();
}

void TMainForm::BtnChartClick()
{
    // Under "Auto" the pack in focus changes with every visit: the window
    // then starts on the pack chosen last, or pack 1.
    const AppGlobals& globals = Globals();
    const std::uint8_t pack = globals.AutoPolling.load() ? std::uint8_t(1) : globals.SelectedPack.load();
    if (!m_chartWindow)
        m_chartWindow = new TChartWindow(*Store(), pack, this);
    m_chartWindow->show();
    m_chartWindow->raise();
    m_chartWindow->activateWindow();
}

void TMainForm::BtnTrafficClick()
{
    if (!m_trafficConsole)
        m_trafficConsole = new TTrafficConsole(Store()->DevOper().Traffic(), this);
    m_trafficConsole->show();
    m_trafficConsole->raise();
    m_trafficConsole->activateWindow();
}

void TMainForm::BtnScanClick()
{
    if (m_switchingPort || m_closing)
        return;
    if (RefusedWhileListening(this))
        return;
    if (!IsLinkOpen()) {
        MessageBoxes::Inform(this, Text(TextId::kPortNotOpen));
        return;
    }
    // The default range is every address a pack may have.
    TScanForm dialog(*Store(), RScanRange{}, this);
    connect(&dialog, &TScanForm::packCountChosen, this, &TMainForm::SetPackCount);
    dialog.Run();
}

void TMainForm::BtnReportClick()
{
    if (m_switchingPort || m_closing)
        return;
    if (RefusedWhileListening(this))
        return;
    if (!IsLinkOpen()) {
        MessageBoxes::Inform(this, Text(TextId::kPortNotOpen));
        return;
    }
    TReportForm dialog(*Store(), Globals().PackCount, this);
    dialog.Run();
}
