// The port switch and the closing steps of the main window. None of them
// waits in a nested event loop: the rest before a port opens is a timer, so
// a click or a close that comes meanwhile is handled by the event loop
// itself, between the steps.

#include "app/main_form.h"

#include "services/port_settings.h"
#include "services/settings.h"
#include "services/text_ids.h"
#include "services/textoper.h"
#include "store/devinfo.h"
#include "store/port_open.h"
#include "store/running_jobs.h"
#include "views/comboboxext.h"
#include "views/message_boxes.h"
#include "views/port_check.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTime>
#include <QTimer>

#include <chrono>

namespace {

using namespace std::chrono_literals;

// A port that was just closed rests this long before it opens again.
constexpr auto kPortSwitchPause = 1000ms;
// How often an open held back by the close question looks again.
constexpr auto kAskingRetry = 50ms;
// The caption of the box that shows why a port did not open.
constexpr const char* kOpenErrorCaption = "Information prompt";

QString Text(std::uint16_t id)
{
    return TTextOper().GetLanguageText(id);
}

} // namespace

std::uint8_t TMainForm::PortOfItemValue(const QString& value)
{
    const int port = value.toInt();
    return port >= 1 && port <= kMaxPacks ? std::uint8_t(port) : std::uint8_t(0);
}

// ---- Port switch.

void TMainForm::BtnComClick()
{
    if (m_closing)
        return;
    switch (m_portState) {
    case PortState::Opening:
    case PortState::Reopening:
        // The open under way goes on; a second click changes nothing.
        return;
    case PortState::Open:
        ClosePort();
        return;
    case PortState::Closed:
    case PortState::Lost:
        BeginOpening();
        return;
    }
}

void TMainForm::SetPortState(PortState state)
{
    m_portState = state;
    const bool opening = state == PortState::Opening || state == PortState::Reopening;
    // The caption says what a click does; while the port opens the button
    // rests, its caption trailing off.
    if (state == PortState::Open)
        BtnCom->setText(Text(TextId::kClosePort));
    else
        BtnCom->setText(Text(TextId::kOpenPort) + (opening ? QStringLiteral("\u2026") : QString()));
    BtnCom->setEnabled(!opening);
    ComboBoxExt1->setEnabled(state != PortState::Open && !opening);
    // The mode is chosen before the port opens and holds until it closes.
    CheckBoxListen->setEnabled(state != PortState::Open && !opening);
}

void TMainForm::BeginOpening()
{
    if (ComboBoxExt1->count() == 0) {
        MessageBoxes::Inform(this, Text(TextId::kNoSerialPort));
        return;
    }
    const std::uint8_t port = PortOfItemValue(ComboBoxExt1->selectedValue());
    if (port == 0)
        return;
    Globals().PortNumber = port;
    // Closed first, and left to rest before it opens.
    Store()->CloseSerial(port);
    SetPortState(m_portState == PortState::Lost ? PortState::Reopening : PortState::Opening);
    m_portTimer->start(kPortSwitchPause);
}

void TMainForm::FinishOpening()
{
    if (m_closing || (m_portState != PortState::Opening && m_portState != PortState::Reopening))
        return;
    // While the close question is open the port waits: an answer of OK
    // leaves it shut, and no box of the open comes up under the question.
    if (m_askingClose) {
        m_portTimer->start(kAskingRetry);
        return;
    }
    AppGlobals& globals = Globals();
    TDevInfo& store = *Store();
    const std::uint8_t port = globals.PortNumber;
    // The rest was the timer's: the sequence opens at once now.
    const bool opened = OpenPort(store, port, ResolvePortDevice(port), PortPause{});
    if (opened) {
        globals.PortOpened = true;
        SetPortState(PortState::Open);
        ShowListening(CheckBoxListen->isChecked());
        ShowPackPanels(true);
        ClearStatusPanels(0, 0);
        ClearStatusPanels(4, 4);
        WriteSetting(QStringLiteral("Port"), port);
        StartPolling();
        return;
    }
    // A port that went away and does not open yet stays lost, its message
    // and the old values' time kept.
    SetPortState(m_portState == PortState::Reopening ? PortState::Lost : PortState::Closed);
    const QString why = store.DevOper().LastOpenError();
    if (!why.isEmpty())
        MessageBoxes::Inform(this, QLatin1String(kOpenErrorCaption), why);
}

void TMainForm::ClosePort()
{
    AppGlobals& globals = Globals();
    TDevInfo& store = *Store();
    // A job under way (a bus job, the scan, a record transfer) ends after
    // its exchange and is joined before the port goes, so that no pack is
    // left half written and none is called silent for it.
    RunningJobs::InterruptAll();
    globals.PortOpened = false;
    StopPolling();
    store.CloseSerial(globals.PortNumber);
    SetPortState(PortState::Closed);
    ShowListening(false);
    store.ClearStatus();
    ClearStatusPanels(0, 3);
}

void TMainForm::PortLost()
{
    // The polling thread has ended by itself; a port switch or a close
    // under way deals with the port on its own.
    if (!m_thread || m_portState != PortState::Open || m_closing)
        return;
    AppGlobals& globals = Globals();
    TDevInfo& store = *Store();
    StopPolling();
    globals.PortOpened = false;
    store.CloseSerial(globals.PortNumber);
    SetPortState(PortState::Lost);
    ShowListening(false);
    SetCommState(0);
    store.ClearStatus();
    ClearStatusPanels(0, 3);
    // The values still on screen stay for reference, marked with the time
    // they stopped being fresh; the message gets the room of the pack's
    // panels so that it is read whole at the window's default size.
    ShowPackPanels(false);
    SetStatusPanel(0, Text(TextId::kValuesAsOf).arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss"))));
    SetStatusPanel(4, Text(TextId::kPortWentAway).arg(PortName(store, globals.PortNumber)));
}

// ---- Closing.

bool TMainForm::FormCloseQuery()
{
    if (MessageBoxes::Ask(this, Text(TextId::kConfirmExit)) != MessageBoxes::Answer::Ok)
        return false;
    m_closing = true;
    setEnabled(false);
    // An open under way ends here: its rest is over, the port stays shut.
    m_portTimer->stop();
    // Every job that uses the store (page commands, bus jobs, the bus scan,
    // record transfers, which send their stop request first) is cancelled
    // and joined here, before the port closes and the store goes; none of
    // them shows anything from now on. A dialog such a job ran in closes
    // too.
    RunningJobs::StopAll();
    for (QDialog* dialog : findChildren<QDialog*>())
        if (dialog->isVisible())
            dialog->reject();
    StopPolling();
    // What the writer holds is sent for a moment, the rest kept in its spool.
    m_outputs.Stop();
    // No rest before or after the port closes: the program ends, and
    // nothing opens this port again from here.
    if (TDevInfo* store = Store())
        store->CloseSerial(Globals().PortNumber);
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
    // A handler still inside a modal box opened before the close (its box
    // was just told to close) goes on with the store when the box returns:
    // the store then goes with the window, once every loop has unwound.
    if (QApplication::activeModalWidget() == nullptr)
        FreeStore();
    return true;
}

void TMainForm::FreeStore()
{
    // The chart window and the traffic console read the store on timers of
    // their own and outlive a closed main window until the program ends:
    // they go before the store does.
    delete m_chartWindow.data();
    delete m_trafficConsole.data();
    if (Store())
        FreeGlobals();
    m_closed = true;
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    // A closed window stays closed; a second request while the question is
    // open (or the closing steps run) changes nothing.
    if (m_closing) {
        event->accept();
        return;
    }
    if (m_askingClose) {
        event->ignore();
        return;
    }
    const QScopedValueRollback<bool> asking(m_askingClose, true);
    if (FormCloseQuery())
        event->accept();
    else
        event->ignore();
}
