#pragma once

// TCompareForm: the parameter sets of many packs side by side, opened from
// the parameter page ("Compare packs…"). "BtnReadPacks" reads the block of
// every pack listed in "EditPacks" (default 1 to the pack count) on a
// TBusWorker, with "ProgressCompare" and "BtnCancelCompare". "GridCompare"
// shows one row per parameter as the parameter page lists them (the grid's
// rows, the four choices, the 42 switches), named in the current language:
// the id, the name, the reference and one column per pack read. The
// reference ("ComboReference") is one of the packs read or a parameter
// file ("BtnLoadReference"); a cell that differs from it is painted yellow.
// The RS485 address and the node number are shown, never counted.
// "CheckOnlyDifferences" hides the rows that agree; "BtnExportCompare"
// writes the table as CSV.
//
// "BtnWriteToPacks" (password) writes the reference to every other pack
// read: one question names the packs and the fields that change on each;
// the job reads, merges, checks, writes and verifies pack by pack, and a
// TBusSummaryForm ends it (also when the window is closed during the
// write: the packs done so far and those not tried). Cancel stops after the
// pack under way. Afterwards the grid shows what each pack read back.
// A reference pack that could not be read is named and nothing is compared.
//
// User-interface thread only; the packs are read and written on the worker.

#include "store/bus_jobs.h"

#include <QDialog>

#include <optional>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;
class TBusWorker;
class TComboBoxExt;
class TDevInfo;

class TCompareForm : public QDialog {
    Q_OBJECT
public:
    enum Column { ColId, ColName, ColReference, ColFirstPack };
    static constexpr std::uint32_t kDifferBgr = 0x00FFFF;   // yellow

    explicit TCompareForm(TDevInfo& store, QWidget* parent = nullptr);
    ~TCompareForm() override;

    void ApplyLanguage();
    // Shows the dialog modally (or hands it to the test hook).
    void Run();

    // ---- Handlers.
    void BtnReadPacksClick();
    void BtnCancelCompareClick();
    void BtnLoadReferenceClick();
    // Reads the file as reference; a file with errors is refused with its line.
    bool LoadReferenceFile(const QString& path);
    void ComboReferenceChange();
    void BtnExportCompareClick();
    void BtnWriteToPacksClick();
    // Any close while a job runs cancels it and waits.
    void done(int result) override;

    // ---- State, for the window's tests.
    // From a job's start until the window has taken its end (the buttons
    // are back), not merely until its thread ended.
    bool IsBusy() const { return m_busy; }
    const RParameterSets& Sets() const { return m_sets; }
    // Rows that differ from the reference (the per-pack ones never do).
    int DifferenceCount() const;
    const std::optional<RBatchWriteReport>& LastReport() const { return m_report; }
    QTableWidget* grid() const { return GridCompare; }

signals:
    // A job ended and its result is shown.
    void jobDone();

private:
    void TakeResult(const QVariant& value);
    void JobFinished();
    void ShowRows();
    void ShowBusy(bool busy);
    void FillReferences();
    std::optional<RParameterSource> Source() const;
    RParameter ReferenceSet() const;
    std::vector<std::uint8_t> ReferenceIds() const;
    std::vector<std::uint8_t> WriteTargets() const;
    void ShowSummary(const RBatchWriteReport& report);
    // "3 (no answer), 4 (not tried)": the packs of the table not read, with why.
    QString NotReadPacksText() const;
    QStringList CsvLine(int line) const;

    TDevInfo& m_store;
    TBusWorker* m_worker = nullptr;
    RParameterSets m_sets;
    std::vector<RCompareRow> m_rows;   // in the page's order
    std::vector<RParameterFileLine> m_fileLines;
    QString m_fileName;
    std::optional<RBatchWriteReport> m_report;
    bool m_writing = false;              // the job running is a batch write
    bool m_busy = false;                 // as the buttons show it
    bool m_closingDuringWrite = false;   // its summary is shown as the window closes
    std::uint8_t m_unreadReference = 0;  // the reference pack that could not be read

    QLabel* LabelPacks = nullptr;
    QLineEdit* EditPacks = nullptr;
    QLabel* LabelReference = nullptr;
    TComboBoxExt* ComboReference = nullptr;
    QPushButton* BtnLoadReference = nullptr;
    QPushButton* BtnReadPacks = nullptr;
    QPushButton* BtnCancelCompare = nullptr;
    QProgressBar* ProgressCompare = nullptr;
    QLabel* LabelCompareState = nullptr;
    QCheckBox* CheckOnlyDifferences = nullptr;
    QTableWidget* GridCompare = nullptr;
    QPushButton* BtnExportCompare = nullptr;
    QPushButton* BtnWriteToPacks = nullptr;
};
