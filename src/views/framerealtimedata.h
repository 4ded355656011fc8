#pragma once

// TFrameRealTimeData: one pack's real-time log, a grid "StringGrid1" that
// grows by one row per reading of its pack, with the popup menu
// "PopupMenu1" ("N1" export, separator "N2", "ClearData").
//
// The grid is a view over RealtimeLogModel, which keeps the readings as
// records; cells are formatted when painted or saved.
//
// Options come from the shared settings: DisplayRecord (log at all),
// AutoSave (save a full log before it restarts), AutoScroll (the view
// follows the newest row); files go to DataPath, or to the user's data
// folder when DataPath cannot be written.
//
// User-interface thread only.

#include "protocol/records.h"
#include "store/realtime_log.h"

#include <QFrame>

class QAction;
class QMenu;
class QTableView;
class TBusWorker;
class TDevInfo;

class TFrameRealTimeData : public QFrame {
    Q_OBJECT
public:
    // store formats the alarm columns and must outlive the frame's use.
    explicit TFrameRealTimeData(const TDevInfo& store, QWidget* parent = nullptr);
    // Waits for a save still being written.
    ~TFrameRealTimeData() override;

    void InitGrid();
    void ApplyLanguage();
    // Logs one reading of this frame's pack. A full log is handed to a
    // background save (with auto-save on) and restarts at once, so the
    // window does not wait for 9,999 rows to be written.
    void AddRecord(const RAnalogData& analog, const RAlarmData& alarm);
    // Saves the log, when it holds readings, to the data folder (or the
    // fallback) and returns when the file is written, after any background
    // save; a failure or the fallback is reported by saveReported.
    AutoSaveResult AutoSaveRecords();
    void ClearRecords();
    void N1Click();
    void ClearDataClick();

    RealtimeLogModel* model() const { return m_model; }
    QTableView* grid() const { return StringGrid1; }

    // The folders an automatic save tries, in order.
    static QStringList AutoSaveFolders();

signals:
    // A text for the status bar: where the log went, or which folder and how
    // many rows could not be saved.
    void saveReported(const QString& message);

private:
    void ReportSave(const AutoSaveResult& result, const QStringList& folders);

    RealtimeLogModel* m_model = nullptr;
    // Runs the background saves of this log one after another, so they land
    // in order; it joins them when it goes.
    TBusWorker* m_saver = nullptr;
    QTableView* StringGrid1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* N1 = nullptr;
    QAction* N2 = nullptr;
    QAction* ClearData = nullptr;
};
