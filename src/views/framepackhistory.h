#pragma once

// The two record pages: TFramePackWorkDataInfo ("数据记录", page 6) reads a
// pack's work-data log and TFramePackAlarmDataInfo ("报警记录", page 7) its
// alarm log, one record per tick of Timer1, into "StringGrid1", a view over
// a HistoryLogModel. Panel1 holds BtnRead, BtnStop, BtnDelete and BtnExp.
//
// A tick sends one request while this page is the active page and a
// transfer runs. The exchange runs as a job on the page's TBusWorker, so the
// window keeps painting and the stop button stays clickable while a pack
// takes its time; what it brought comes back to the page as a value
// (RHistoryStep), and a tick that finds an exchange still under way does
// nothing. The worker runs its jobs one after another (bar code, records,
// the stop request), and the link lock keeps each exchange apart from the
// polling thread's.
//
// The pack is the one selected in the main window when the transfer starts;
// with "CheckAllPacks" ticked, packs 1 to the pack count are read in turn
// into the same grid by a bus job (the polling thread leaves it the link),
// a pack that does not answer is named at the end, and Stop ends the whole
// run with one stop request to the pack being read and names the packs
// whose whole log came. When the port goes
// away the page says so, with the rows of the pack under way in the grid.
// User-interface thread only, except the worker's jobs.

#include "history/history_transfer.h"
#include "store/bus_jobs.h"
#include "store/pack_loop.h"

#include <QFrame>
#include <QStringList>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

// One record of the run over all packs, and how the run ended: handed from
// the bus job to the page by value.
struct RHistoryPageRow {
    std::uint8_t pack = 0;
    RHistoryRecord record;
    QString deviceCode;
};

// What one exchange of a single-pack transfer brought (or, with barCodeOnly,
// the bar code read that opens it), handed from the job to the page.
struct RHistoryStep {
    int generation = 0;   // the transfer it belongs to
    bool barCodeOnly = false;
    bool barCodeRead = false;
    QString barCode;
    bool gotRecord = false;
    RHistoryRecord record;
    std::uint8_t result = 0;
    std::uint8_t firstStatus = 0;
    std::uint8_t secondStatus = 0;
    std::uint8_t subCommand = 0;
    int noAnswers = 0;
    HistoryTransferEnd end = HistoryTransferEnd::Running;
    int records = 0;
};

Q_DECLARE_METATYPE(RHistoryPageRow)
Q_DECLARE_METATYPE(RHistoryStep)

class HistoryLogModel;
class QCheckBox;
class QPushButton;
class QTableView;
class QTimer;
class QVariant;
class TBusWorker;
class TDevInfo;
class TReadingChart;

class TFramePackHistory : public QFrame {
    Q_OBJECT
public:
    static constexpr int kTimerMs = 400;

    // Waits for the worker.
    ~TFramePackHistory() override;

    // The store the page talks through; the window sets it once it exists.
    void SetStore(TDevInfo* store) { m_store = store; }

    void InitGrid();
    void ApplyLanguage();
    void AddRecordRow(const RHistoryRecord& record);

    void BtnReadClick();
    void BtnStopClick();
    void BtnDeleteClick();
    void BtnExpClick();
    // Work-data page: plots the records read so far in a window of its own
    // (records without a valid time are left out).
    void BtnRecordChartClick();
    TReadingChart* RecordChart() const;
    void Timer1Timer();

    // Closing the window: a running transfer is stopped without a question
    // (its stop request goes out once), no tick runs again, and this
    // returns when the worker has nothing left to do. Closing the window
    // does the same through RunningJobs.
    void Shutdown();

    // ---- State, as the page's handlers keep it.
    bool Reading() const { return m_reading; }
    std::uint8_t ReadMode() const { return m_readMode; }
    std::uint8_t EndFlag() const { return m_endFlag; }
    std::uint8_t SecondStatus() const { return m_secondStatus; }
    int NoAnswerCount() const { return m_noAnswerCount; }
    QString DeviceCode() const { return m_deviceCode; }
    // Whether an exchange of this page is under way on its worker.
    bool ExchangeRunning() const { return m_busy; }

    HistoryLogModel* model() const { return m_model; }
    QTableView* grid() const { return StringGrid1; }
    QPushButton* readButton() const { return BtnRead; }
    QTimer* timer() const { return Timer1; }

protected:
    // pageIndex: the main window's page this frame lives on.
    TFramePackHistory(bool alarmLog, int pageIndex, QWidget* parent);

private:
    void Delivered(const QVariant& value);
    void JobFinished(bool cancelled);
    void TakeStep(const RHistoryStep& step);
    void FinishTransfer();
    void SetIdleButtons(bool idle);
    // Reads the bar code, then the log of one pack, tick by tick.
    void StartTransfer(std::uint8_t address, std::uint8_t pack);
    // Sends the stop request after whatever the worker is doing.
    void QueueStop();
    // "All packs": every pack's whole log on a bus job, one after another.
    void StartAllPacks(const std::vector<std::uint8_t>& packs);
    void AllPacksRow(const RHistoryPageRow& row);
    void AllPacksFinished(bool cancelled);
    // The end of a transfer after the port went away: what the grid holds.
    void SayPortLost(std::uint8_t pack, int rows, const std::vector<std::uint8_t>& notRead);
    // The refusals of the packs a run over all packs left out, each on a
    // line of its own after a newline; empty when none were.
    QString SkippedLines() const;
    // Closing the window: the transfer is told to stop (the worker's last
    // step before it shuts down).
    void BeginShutdown();

    const bool m_alarmLog;
    const int m_pageIndex;
    TDevInfo* m_store = nullptr;

    HistoryLogModel* m_model = nullptr;
    QTableView* StringGrid1 = nullptr;
    QFrame* Panel1 = nullptr;
    QPushButton* BtnRead = nullptr;
    QPushButton* BtnStop = nullptr;
    QPushButton* BtnDelete = nullptr;
    QPushButton* BtnExp = nullptr;
    QPushButton* BtnRecordChart = nullptr;   // work-data page only
    QCheckBox* CheckAllPacks = nullptr;      // "All packs": 1 to the pack count in turn
    QPointer<TReadingChart> m_recordChart;
    QTimer* Timer1 = nullptr;

    bool m_reading = false;
    std::uint8_t m_readMode = HistorySubCommand::kFirst;
    std::uint8_t m_endFlag = 0;
    std::uint8_t m_secondStatus = 0;
    int m_noAnswerCount = 0;
    QString m_deviceCode;
    std::uint8_t m_transferPack = 0;
    std::uint8_t m_transferAddress = 0;
    bool m_allPacksRun = false;
    bool m_stopAsked = false;              // Stop pressed during the run over all packs
    int m_rowsOfPack = 0;                  // rows the pack under way added to the grid
    std::uint8_t m_rowsPack = 0;           // the pack they belong to
    bool m_portLost = false;               // single pack: the transfer ended on a lost port
    QString m_refusal;                     // single pack: the guard refused it (another family)
    QStringList m_skipped;                 // all packs: the refusals of the packs left out
    RAllPackLogs m_allPacksResult;         // delivered last by the run over all packs

    // The transfer belongs to the worker's jobs while one runs; the page
    // reads only the steps they hand back.
    std::shared_ptr<HistoryTransfer> m_transfer;
    HistoryTransferEnd m_transferEnd = HistoryTransferEnd::Running;
    int m_recordsRead = 0;
    bool m_busy = false;
    bool m_shutDown = false;
    // Steps of an earlier transfer are dropped.
    int m_generation = 0;
    // Runs every exchange of this page, one after another.
    TBusWorker* m_worker = nullptr;
};

class TFramePackWorkDataInfo final : public TFramePackHistory {
    Q_OBJECT
public:
    static constexpr int kPageIndex = 6;
    explicit TFramePackWorkDataInfo(QWidget* parent = nullptr);
};

class TFramePackAlarmDataInfo final : public TFramePackHistory {
    Q_OBJECT
public:
    static constexpr int kPageIndex = 7;
    explicit TFramePackAlarmDataInfo(QWidget* parent = nullptr);
};
