#pragma once

// TMainForm: the program's main window. It loads the settings when it is
// created, opens and closes the serial port, starts and stops the polling
// thread, holds the eight pages and shows what the polling thread reads.
//
// Every control carries the name it is known by (StatusBar1, PageControl1,
// TabSheet1..8, ComboBoxExt1, BtnCom, Edit2, ...) as its objectName, so that
// tests and tools find it.
//
// Threads: every method runs on the user-interface thread. The polling
// thread reaches the window only through its signals, queued with copies of
// what they show: RefreshHead, SetCommState, ShowPackTime, ShowStatus,
// RefreshAnalog, RefreshAlarm and RefreshLocation run here while the thread
// goes on; it never waits for the window.
//
// No handler waits in a nested event loop: the pauses of the port switch and
// of closing are timers, so a click or a close never runs inside another
// handler.

#include "outputs/monitoring_outputs.h"
#include "protocol/records.h"
#include "views/framepackconfig.h"
#include "views/framepackdatamonitor.h"
#include "views/framepackhistory.h"
#include "views/framepacklocation.h"
#include "views/framepackparameter.h"
#include "views/framerealtimedata.h"
#include "views/chart_window.h"
#include "views/traffic_console.h"
#include "store/thread_pack.h"

#include <QList>
#include <QPointer>
#include <QStringList>
#include <QMainWindow>

#include <array>
#include <cstdint>
#include <memory>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QTabWidget;
class QTimer;
class QWidget;
class TComboBoxExt;
class TBusWorker;
class TDevInfo;
class TFramePackAlarm;
class TFramePackCellVoltage;
class TFramePackHead;
class TFramePackInfo;
class TFramePackTemperature;
class TShape;
struct RPollPlan;

// The frames of the pages; one name each, so that putting a finished frame
// in is a change of one line.
using RealTimeDataFrame = TFrameRealTimeData;
using PackDataMonitorFrame = TFramePackDataMonitor;
using PackLocationFrame = TFramePackLocation;
using PackParameterFrame = TFramePackParameter;

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kPageCount = 8;
    static constexpr int kStatusPanels = 5;
    // Pages from this index on send their own commands; the polling thread
    // idles while one of them is shown.
    static constexpr int kFirstCommandPage = 4;

    // The port as the port button drives it. Opening and Reopening rest with
    // the port closed before it opens (a timer); Lost: the adapter went away
    // and polling ended; Reopening is the open after that, which keeps the
    // values on screen marked as old until it succeeds.
    enum class PortState : std::uint8_t { Closed, Opening, Open, Lost, Reopening };

    // programFolder: where LoadSettings finds BMS.ini; empty for the folder
    // of the running program. Tests pass a temporary folder.
    explicit TMainForm(const QString& programFolder = QString(), QWidget* parent = nullptr);
    ~TMainForm() override;

    // ---- Methods the polling thread has run here (queued, with copies of
    // what they show, taken when the pack was read). The forms without a
    // focus or view show the pack in focus as the store holds it now.
    void RefreshHead(const RPackFocus& focus);
    void RefreshHead();
    void SetCommState(int state);
    void ShowPackTime(const RDeviceTime& packTime, std::uint8_t lastResult, const RPackFocus& focus);
    void ShowPackTime(const RDeviceTime& packTime, std::uint8_t lastResult);
    void ShowStatus(std::uint16_t softwareVersion, const QString& barCode, std::uint8_t echoedPack,
                    const RPackFocus& focus);
    void RefreshAnalog(const RPolledView& view);
    void RefreshAnalog();
    void RefreshAlarm(const RPolledView& view);
    void RefreshAlarm();
    void RefreshLocation(const RPolledView& view);
    // The port went away and the thread has ended polling. Lamp red, the
    // port button back to "Open Port", the reason in the status bar.
    void PortLost();

    // ---- Methods of the window.
    void ApplyLanguage();
    void RebuildViews();
    void ShowMonitorColumn();
    void ShowMonitorColumn(const RAnalogData& analog);
    void RefreshParameters();
    // The pack page 0 shows: while listening with a pack chosen in "Pack
    // No.", that pack, whichever pack the master asked last; otherwise the
    // pack in focus (SelectedPack), which the polling thread sets.
    std::uint8_t ShownPack() const;

    // Whether a polling thread is running.
    bool IsPolling() const { return m_thread != nullptr; }
    PortState PortStateNow() const { return m_portState; }
    // From a confirmed close on.
    bool IsClosing() const { return m_closing; }
    // The open state of the port button: a polling thread runs or the port
    // is open.
    bool IsLinkOpen() const;
    QString StatusPanelText(int panel) const;
    // The monitoring outputs running (where /metrics is served).
    const MonitoringOutputs& Outputs() const { return m_outputs; }
    // The traffic console, once BtnTraffic has opened it (else null).
    TTrafficConsole* TrafficConsole() const { return m_trafficConsole; }
    // The chart window, once BtnChart has opened it (else null).
    TChartWindow* ChartWindow() const { return m_chartWindow; }
    // The real-time log of pack 1..16.
    RealTimeDataFrame* RealTimeFrame(int pack) const { return m_realTimeFrames.value(pack - 1); }
    // The runner of the pages' commands.
    TBusWorker* PageRunner() const { return m_pageRunner; }

protected:
    // FormCloseQuery and the closing steps.
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // ---- Building the controls (main_form_layout.cpp).
    void BuildControls();
    void BuildStatusBar();
    QWidget* BuildLivePage();
    QWidget* BuildLiveLeft(QWidget* page);
    QWidget* BuildLiveRight(QWidget* page);
    QWidget* BuildRealTimePage();
    void ConnectHandlers();

    // ---- Start-up and handlers (main_form.cpp).
    void FormCreate(const QString& programFolder);
    // Asks; on OK stops and joins everything that uses the store, closes
    // the port, saves the logs and frees the store, and returns true.
    bool FormCloseQuery();
    // The windows that read the store, then the store.
    void FreeStore();
    void BtnComClick();
    // The port switch (main_form_port.cpp): the rest before opening runs
    // on m_portTimer, whose end opens the port.
    void BeginOpening();
    void FinishOpening();
    void ClosePort();
    void SetPortState(PortState state);
    // The port number of a port list value; 0 for none.
    static std::uint8_t PortOfItemValue(const QString& value);
    void ComboBoxExt2Change();
    void Edit1Change();
    void Edit2Change();
    // True when the key press is to be discarded.
    bool Edit2KeyPress(const QKeyEvent& key) const;
    void RadioButton1Click();
    void RadioButton2Click();
    void BtnChangeClick();
    // Opens the traffic console, or brings it to the front.
    void BtnTrafficClick();
    // Scans the bus in a dialog; a yes to its offer sets the pack count.
    void BtnScanClick();
    // Sets the pack count as if the user had typed it into Edit2.
    void SetPackCount(int count);
    // Opens the chart window on the pack in focus, or brings it to the front.
    void BtnChartClick();
    // The service report of chosen packs, made in a dialog.
    void BtnReportClick();
    // The monitoring outputs dialog: saves what it gives and applies it.
    void BtnMonitoringClick();
    // Starts the outputs the settings turn on (and stops the others); a
    // running polling thread is started again when it gains or loses its
    // sink. Each output that could not start is told in a message.
    void ApplyMonitoring(const RMonitoringSettings& settings);
    // One line per output running, for the dialog.
    QString MonitoringStatus() const;

    void CheckBox1Click();
    void CheckBox2Click();
    void CheckBox3Click();
    void CheckBox4Click();
    void PageControl1Change(int index);
    void FramePackWorkDataInfo1BtnReadClick();
    void FramePackAlarmDataInfo1BtnReadClick();

    void SetLanguage(std::uint8_t language);
    // Starts the polling thread; it only listens while Globals().Listening.
    void StartPolling();
    // The port was opened to listen only (listening) or has closed: the
    // status bar and the listen choice follow.
    void ShowListening(bool listening);
    // Stops a running polling thread and waits for it to end.
    void StopPolling();
    // What the polling thread is to poll, from the selection state; handed
    // to a running thread whenever the page, the pack choice, the pack
    // count or the clock sync changes.
    RPollPlan PollPlan() const;
    void UpdatePollPlan();
    void SetStatusPanel(int panel, const QString& text);
    // A log's report of where it was saved, or of rows it could not save.
    void ShowSaveReport(const QString& message);
    void ClearStatusPanels(int first, int last);
    // After the port went away the panels of the pack (version, bar code,
    // pack number) give their room to the message; they come back on open.
    void ShowPackPanels(bool shown);
    void UpdatePageVisibility();
    // Whether what the polling thread reports of SelectedPack belongs on
    // page 0 (always, unless listening shows another chosen pack).
    bool HeardPackShown() const;
    bool HeardPackShown(const RPackFocus& focus) const;
    RPackFocus CurrentFocus() const;
    RPolledView CurrentView() const;
    // The port selector's tooltip and status hint name the device behind
    // the selected port number.
    void ShowPortDevices();
    TDevInfo* Store() const;

    // ---- Controls.
    QStatusBar* StatusBar1 = nullptr;
    std::array<QLabel*, kStatusPanels> m_statusPanels{};
    // Right of the five panels: the logs' save reports, emptied by its timer.
    QLabel* m_saveReport = nullptr;
    QTimer* m_saveReportTimer = nullptr;
    // "Listening: nothing is sent", shown while the port is open to listen only.
    QLabel* m_listeningLabel = nullptr;
    QTabWidget* PageControl1 = nullptr;
    std::array<QWidget*, kPageCount> m_tabSheets{};

    // Page 0.
    TFramePackInfo* FramePackInfo1 = nullptr;
    TFramePackHead* FramePackHead1 = nullptr;
    TFramePackTemperature* FramePackTemperature1 = nullptr;
    TFramePackCellVoltage* FramePackCellVoltage1 = nullptr;
    TFramePackAlarm* FramePackAlarm1 = nullptr;
    QGroupBox* GroupBox6 = nullptr;
    TShape* Shape1 = nullptr;
    QGroupBox* GroupBox3 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label1 = nullptr;
    TComboBoxExt* ComboBoxExt2 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    TComboBoxExt* ComboBoxExt1 = nullptr;
    QPushButton* BtnCom = nullptr;
    QCheckBox* CheckBoxListen = nullptr;
    QCheckBox* CheckBox4 = nullptr;
    QRadioButton* RadioButton1 = nullptr;
    QRadioButton* RadioButton2 = nullptr;
    QLabel* Label17 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* BtnChange = nullptr;
    QPushButton* BtnTraffic = nullptr;
    QPushButton* BtnScan = nullptr;
    QPointer<TTrafficConsole> m_trafficConsole;
    QPushButton* BtnChart = nullptr;
    QPushButton* BtnReport = nullptr;
    QPushButton* BtnMonitoring = nullptr;
    QPointer<TChartWindow> m_chartWindow;

    // Page 1.
    PackDataMonitorFrame* FramePackDataMonitor1 = nullptr;
    // Page 2.
    QTabWidget* PageControl2 = nullptr;
    QList<RealTimeDataFrame*> m_realTimeFrames;
    TBusWorker* m_pageRunner = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QCheckBox* CheckBox2 = nullptr;
    QCheckBox* CheckBox3 = nullptr;
    // Page 3.
    PackLocationFrame* FramePackLocation1 = nullptr;
    // Pages 4 to 7.
    PackParameterFrame* FramePackParameter1 = nullptr;
    TFramePackConfig* FramePackConfig1 = nullptr;
    TFramePackWorkDataInfo* FramePackWorkDataInfo1 = nullptr;
    TFramePackAlarmDataInfo* FramePackAlarmDataInfo1 = nullptr;

    // ---- State.
    // Before the thread: the thread's sink goes after the thread.
    MonitoringOutputs m_outputs;
    std::unique_ptr<TThreadPack> m_thread;
    // Tells a lost port of the thread running now from one of a thread
    // stopped before (its signal may still be on its way).
    quint64 m_pollSession = 0;
    PortState m_portState = PortState::Closed;
    QTimer* m_portTimer = nullptr;   // the rest before the port opens
    bool m_askingClose = false;   // the close question is open
    bool m_closing = false;       // confirmed: the window goes
    bool m_closed = false;        // the store is freed
    // Save reports of the logs made while closing.
    QStringList m_closeReports;
};
