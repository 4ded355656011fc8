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
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

namespace {

constexpr int kMonitorPage = 1;
constexpr int kRealTimePage = 2;
constexpr int kLocationPage = 3;
constexpr int kParameterPage = 4;
constexpr int kConfigPage = 5;
constexpr int kWorkDataPage = 6;
constexpr int kAlarmRecordPage = 7;
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

} // namespace

// ---- Serial port.

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
    return m_portState == PortState::Open || m_thread != nullptr
        || (Store() && Store()->IsSerialOpen(Globals().PortNumber));
}

void TMainForm::ShowPortDevices()
{
    if (!Store())
        return;
    for (int index = 0; index < ComboBoxExt1->count(); ++index) {
        const std::uint8_t port = PortOfItemValue(ComboBoxExt1->valueAt(index));
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
    if (m_closing || m_portState == PortState::Opening || m_portState == PortState::Reopening)
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
    if (m_closing || m_portState == PortState::Opening || m_portState == PortState::Reopening)
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
