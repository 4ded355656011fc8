#pragma once

// TReportForm: the dialog behind page 0's "Report…". The user names the
// packs ("1-16", "1,3,5", "all"), an optional reference parameter file and
// the PDF file (an HTML file beside it on request); Make checks all of it,
// and that the files can be written, before any pack is read. The packs are
// read on the window's bus worker, so the window keeps painting; the
// progress bar follows the packs and Cancel stops before the next pack (or
// log record) and writes nothing; so does a port that went away. A report
// that could not read everything is saved and says which packs. When the reading is done the charts are
// drawn here, one pack per turn of the event loop (Qt Charts are widgets),
// and the files are written on the bus worker again.

#include "params/reference_file.h"
#include "report/report_writer.h"
#include "store/report_data.h"

#include <QDialog>

#include <array>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class TBusWorker;
class TDevInfo;

// Why a reference file was refused, as the report and compare dialogs say it.
QString ReferenceFileWarning(const QString& path, const RReferenceFile& loaded);

class TReportForm : public QDialog {
    Q_OBJECT
public:
    TReportForm(TDevInfo& store, int packCount, QWidget* parent = nullptr);
    ~TReportForm() override;

    void ApplyLanguage();
    // Shows the dialog modally (or hands it to the test hook of TModalRun).
    void Run();
    bool IsRunning() const;

    void BtnMakeClick();
    void BtnReportCancelClick();
    void BtnBrowsePdfClick();
    void BtnBrowseReferenceClick();
    void done(int result) override;

    // The controls, named for tests.
    QLineEdit* EditPacks = nullptr;
    QLineEdit* EditReference = nullptr;
    QLineEdit* EditPdf = nullptr;
    QCheckBox* CheckHtml = nullptr;
    QCheckBox* CheckLogs = nullptr;
    QProgressBar* ProgressReport = nullptr;
    QLabel* LabelReportState = nullptr;
    QPushButton* BtnMake = nullptr;
    QPushButton* BtnReportCancel = nullptr;
    QPushButton* BtnBrowsePdf = nullptr;
    QPushButton* BtnBrowseReference = nullptr;

signals:
    void reportWritten(const QString& pdfPath);

private:
    void Delivered(const QVariant& value);
    void Finished(bool cancelled);
    void DrawNextCharts();
    void StartWriting();
    void Ended(const QString& message);
    // "Report saved: …", or which packs it could not fully read.
    QString SavedText(const RReport& report) const;
    void ShowRunning(bool running);
    // The request from the fields, or nothing after telling the user why.
    std::optional<RReportRequest> ReadRequest(RReportFiles& files);

    TDevInfo& m_store;
    std::array<QLabel*, 3> m_labels{};
    int m_packCount;
    TBusWorker* m_worker = nullptr;
    RReportFiles m_files;
    std::optional<RReport> m_report;
    RReportImages m_images;
    std::size_t m_drawn = 0;
    QString m_writeError;
    enum class Phase { Idle, Reading, Drawing, Writing };
    Phase m_phase = Phase::Idle;
    bool m_cancelDrawing = false;
};
