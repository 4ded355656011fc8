#pragma once

// TScanForm: the small dialog that scans the bus. It asks each address of
// a range for its bar code and device information as a job on its
// TBusWorker (one exchange at a time under the link lock, so the polling
// thread and the scan take turns; each entry comes back as a value), and
// lists the addresses that answered with bar
// code, software version and the pack number each echoes, and the family
// its reads showed. Another maker's pack shows its serial number (or device
// name) and software version from its identity reads; an address whose
// answers fit no family, or two, or not its pinned one, is listed with the
// reason in the family column.
//
//   Run()     starts the scan and shows the dialog modally (or hands it to
//             the test hook)
//   Start()   starts the scan only, for a dialog shown without a modal loop
//
// Cancel stops the scan after the address being asked; any close while it
// runs cancels it and waits for the job to end. A scan that ends, by
// itself or by Cancel, offers (through the message-box hook) to set the
// pack count to the highest address that answered; packCountChosen carries
// the answer "yes". When a whole scan found no address it says so.

#include "store/bus_scan.h"

#include <QDialog>

#include <functional>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QVariant;
class TBusWorker;
class TDevInfo;

class TScanForm : public QDialog {
    Q_OBJECT
public:
    enum Column { ColAddress, ColBarCode, ColVersion, ColPackNumber, ColFamily, ColCount };

    TScanForm(TDevInfo& store, const RScanRange& range, QWidget* parent = nullptr);
    ~TScanForm() override;

    void ApplyLanguage();
    void Run();
    void Start();
    bool IsScanning() const { return m_scanning; }
    // Every address asked so far, in order, answered or not.
    const std::vector<RScanEntry>& Entries() const { return m_entries; }

    // Tests replace the modal loop: the hook gets the shown dialog and
    // drives it. An empty hook restores exec().
    using ExecHook = std::function<void(TScanForm&)>;
    static ExecHook SetExecHook(ExecHook hook);

    void BtnScanCancelClick();
    // Any close while the scan runs cancels it and waits for its thread.
    void done(int result) override;

signals:
    void packCountChosen(int count);

private:
    void AddEntry(const QVariant& value);
    void ScanEnded(bool cancelled);
    // Asks the scan to stop and waits for its job, delivering meanwhile
    // the calls other threads wait in.
    void StopScan();
    void ShowState();

    TDevInfo& m_store;
    const RScanRange m_range;
    std::vector<RScanEntry> m_entries;
    TBusWorker* m_worker = nullptr;
    bool m_scanning = false;
    bool m_cancel = false;   // Cancel was pressed (or the dialog closes)
    bool m_closing = false;
    QLabel* LabelScanState = nullptr;
    QProgressBar* ProgressScan = nullptr;
    QTableWidget* TableScan = nullptr;
    QPushButton* BtnScanCancel = nullptr;
};
