#include "views/report_form.h"

#include "params/reference_file.h"
#include "services/settings.h"
#include "services/textoper.h"
#include "store/bus_worker.h"
#include "store/config_checks.h"
#include "store/devinfo.h"
#include "store/pack_list.h"
#include "store/report_findings.h"
#include "store/report_texts.h"
#include "views/file_dialogs.h"
#include "views/family_view.h"
#include "views/message_boxes.h"
#include "views/modal_run.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTimer>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString Text(std::uint16_t id)
{
    return TTextOper().GetLanguageText(id);
}

} // namespace

QString ReferenceFileWarning(const QString& path, const RReferenceFile& loaded)
{
    if (loaded.fault == ReferenceFileFault::NoParameters)
        return Text(ReportText::kNoParameters).arg(QFileInfo(path).fileName());
    // The file's own errors may name it already.
    return loaded.detail.startsWith(path) ? loaded.detail : QStringLiteral("%1: %2").arg(path, loaded.detail);
}

namespace {

QString HtmlBeside(const QString& pdf)
{
    const QFileInfo info(pdf);
    return info.absoluteDir().filePath(info.completeBaseName() + QStringLiteral(".html"));
}

} // namespace

TReportForm::TReportForm(TDevInfo& store, int packCount, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_store(store)
    , m_packCount(packCount)
    , m_worker(new TBusWorker(this))
{
    setObjectName(QStringLiteral("ReportForm"));
    setModal(true);
    const auto named = [this](auto* widget, const char* name) {
        widget->setObjectName(QLatin1String(name));
        return widget;
    };
    EditPacks = named(new QLineEdit(QStringLiteral("all"), this), "EditPacks");
    EditReference = named(new QLineEdit(this), "EditReference");
    EditPdf = named(new QLineEdit(this), "EditPdf");
    EditPdf->setMinimumWidth(320);
    EditPdf->setText(QDir::home().filePath(QStringLiteral("report-%1.pdf")
                                               .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmm")))));
    BtnBrowseReference = named(new QPushButton(this), "BtnBrowseReference");
    BtnBrowsePdf = named(new QPushButton(this), "BtnBrowsePdf");
    CheckHtml = named(new QCheckBox(this), "CheckHtml");
    CheckLogs = named(new QCheckBox(this), "CheckLogs");
    CheckLogs->setChecked(true);
    ProgressReport = named(new QProgressBar(this), "ProgressReport");
    ProgressReport->setRange(0, 1);
    ProgressReport->setValue(0);
    ProgressReport->setFormat(QStringLiteral("%v / %m"));
    LabelReportState = named(new QLabel(this), "LabelReportState");
    BtnMake = named(new QPushButton(this), "BtnMake");
    BtnReportCancel = named(new QPushButton(this), "BtnReportCancel");
    BtnMake->setDefault(true);

    m_labels = {new QLabel(this), new QLabel(this), new QLabel(this)};
    auto* grid = new QGridLayout;
    grid->addWidget(m_labels[0], 0, 0);
    grid->addWidget(EditPacks, 0, 1, 1, 2);
    grid->addWidget(m_labels[1], 1, 0);
    grid->addWidget(EditReference, 1, 1);
    grid->addWidget(BtnBrowseReference, 1, 2);
    grid->addWidget(m_labels[2], 2, 0);
    grid->addWidget(EditPdf, 2, 1);
    grid->addWidget(BtnBrowsePdf, 2, 2);
    grid->addWidget(CheckHtml, 3, 1);
    grid->addWidget(CheckLogs, 4, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BtnMake);
    buttons->addWidget(BtnReportCancel);
    auto* column = new QVBoxLayout(this);
    column->addLayout(grid);
    column->addWidget(ProgressReport);
    column->addWidget(LabelReportState);
    column->addLayout(buttons);

    connect(BtnMake, &QPushButton::clicked, this, &TReportForm::BtnMakeClick);
    connect(BtnReportCancel, &QPushButton::clicked, this, &TReportForm::BtnReportCancelClick);
    connect(BtnBrowsePdf, &QPushButton::clicked, this, &TReportForm::BtnBrowsePdfClick);
    connect(BtnBrowseReference, &QPushButton::clicked, this, &TReportForm::BtnBrowseReferenceClick);
    connect(m_worker, &TBusWorker::progressed, this, [this](int done, int total, const QString& what) {
        ProgressReport->setRange(0, std::max(total, 1));
        ProgressReport->setValue(done);
        LabelReportState->setText(what);
    });
    connect(m_worker, &TBusWorker::delivered, this, &TReportForm::Delivered);
    connect(m_worker, &TBusWorker::finished, this, &TReportForm::Finished);
    ApplyLanguage();
}

TReportForm::~TReportForm()
{
    m_worker->cancel();
    m_worker->wait();
}

void TReportForm::ApplyLanguage()
{
    setWindowTitle(Text(ReportText::kTitle));
    m_labels[0]->setText(Text(ReportText::kDialogPacks));
    m_labels[1]->setText(Text(ReportText::kDialogReference));
    m_labels[2]->setText(Text(ReportText::kDialogFile));
    BtnBrowseReference->setText(Text(ReportText::kBrowse));
    BtnBrowsePdf->setText(Text(ReportText::kBrowse));
    CheckHtml->setText(Text(ReportText::kDialogHtml));
    CheckLogs->setText(Text(ReportText::kDialogLogs));
    BtnMake->setText(Text(ReportText::kDialogMake));
    BtnReportCancel->setText(Text(ReportText::kCancelButton));
}

void TReportForm::Run()
{
    TModalRun<TReportForm>::Run(*this);
}

bool TReportForm::IsRunning() const
{
    return m_phase != Phase::Idle;
}

std::optional<RReportRequest> TReportForm::ReadRequest(RReportFiles& files)
{
    QString error;
    const auto packs = ParsePackList(EditPacks->text(), m_packCount, &error);
    if (!packs) {
        MessageBoxes::Warn(this, error);
        return std::nullopt;
    }
    RReportRequest request;
    request.packs = *packs;
    request.withLogs = CheckLogs->isChecked();
    const QString reference = EditReference->text().trimmed();
    // A pack number names a pack whose set is the reference; anything else
    // is a parameter file.
    if (const auto pack = ParseWholeIn(reference, 1, kMaxPacks)) {
        request.referencePack = std::uint8_t(*pack);
    } else if (!reference.isEmpty()) {
        bool isNumber = false;
        reference.toUInt(&isNumber);
        // A number that names no pack is most likely a pack meant, not a file.
        if (isNumber && !QFileInfo::exists(reference)) {
            MessageBoxes::Warn(this, QStringLiteral("%1: %2").arg(reference, Text(ReportText::kNoPackNoFile).arg(reference)));
            return std::nullopt;
        }
        const RReferenceFile loaded = LoadReferenceFile(reference);
        if (loaded.fault != ReferenceFileFault::None) {
            MessageBoxes::Warn(this, ReferenceFileWarning(reference, loaded));
            return std::nullopt;
        }
        request.reference = loaded.reference.set;
        request.referenceIds = loaded.reference.ids;
        request.referenceName = loaded.reference.name;
    }
    files.pdf = EditPdf->text().trimmed();
    files.html = CheckHtml->isChecked() ? HtmlBeside(files.pdf) : QString();
    if (!CheckReportFiles(files, &error)) {
        MessageBoxes::Warn(this, error);
        return std::nullopt;
    }
    return request;
}

void TReportForm::BtnMakeClick()
{
    if (IsRunning())
        return;
    RReportFiles files;
    const std::optional<RReportRequest> request = ReadRequest(files);
    if (!request)
        return;
    // Another maker's pack has no parameters or records of ours to report:
    // it is left out, and so is a reference pack of another family.
    const RForeignScreen screen = ScreenForeignPacks(m_store, request->packs);
    QStringList refusals = screen.refusals;
    RReportRequest job = *request;
    job.packs = screen.packs;
    if (job.referencePack != 0) {
        if (auto refusal = ForeignPackRefusal(m_store, job.referencePack, job.referencePack)) {
            if (!refusals.contains(*refusal))
                refusals << *refusal;
            job.referencePack = 0;
        }
    }
    if (!refusals.isEmpty())
        MessageBoxes::Inform(this, refusals.join(QLatin1Char('\n')));
    if (job.packs.empty())
        return;
    m_files = files;
    m_report.reset();
    TDevInfo* store = &m_store;
    if (!m_worker->start([store, job](const TBusWorker::Job& run) {
            run.deliver(QVariant::fromValue(GatherReport(*store, job, run.control())));
        }))
        return;
    m_phase = Phase::Reading;
    m_cancelDrawing = false;
    ProgressReport->setRange(0, std::max<int>(int(job.packs.size()), 1));
    ProgressReport->setValue(0);
    LabelReportState->clear();
    ShowRunning(true);
}

void TReportForm::BtnReportCancelClick()
{
    // Writing is not cut short: the files are replaced whole or not at all.
    if (m_phase == Phase::Reading)
        m_worker->cancel();
    else if (m_phase == Phase::Drawing)
        m_cancelDrawing = true;
    else if (m_phase == Phase::Idle)
        reject();
}

void TReportForm::BtnBrowsePdfClick()
{
    const QString path = FileDialogs::AskSaveFileName(
        this, {Text(ReportText::kTitle), QFileInfo(EditPdf->text()).absolutePath(), QStringLiteral("PDF|*.pdf"),
               QStringLiteral("pdf")});
    if (!path.isEmpty())
        EditPdf->setText(path);
}

void TReportForm::BtnBrowseReferenceClick()
{
    const QString path = FileDialogs::AskOpenFileName(
        this, {Text(ReportText::kDialogReference), QString(), QStringLiteral("Parameter|*.prt"), QString()});
    if (!path.isEmpty())
        EditReference->setText(path);
}

void TReportForm::done(int result)
{
    if (IsRunning()) {
        m_cancelDrawing = true;
        m_worker->cancel();
        m_worker->wait();
        m_phase = Phase::Idle;
    }
    QDialog::done(result);
}

void TReportForm::Delivered(const QVariant& value)
{
    if (m_phase == Phase::Reading && value.canConvert<RReport>())
        m_report = value.value<RReport>();
    else if (m_phase == Phase::Writing)
        m_writeError = value.toString();
}

void TReportForm::Finished(bool cancelled)
{
    if (m_phase == Phase::Writing) {
        if (!m_writeError.isEmpty()) {
            Ended(m_writeError);
            MessageBoxes::Warn(this, m_writeError);
            return;
        }
        ProgressReport->setValue(ProgressReport->maximum());
        const QString pdf = m_files.pdf;
        Ended(SavedText(*m_report));
        emit reportWritten(pdf);
        return;
    }
    if (m_phase != Phase::Reading)
        return;
    if (cancelled || !m_report || m_report->cancelled) {
        Ended(Text(ReportText::kCancelled));
        return;
    }
    // Packs lost with the port make no report: the earlier file stays.
    if (m_report->portLost) {
        Ended(Text(ReportText::kPortLostNotSaved).arg(m_store.DevOper().PortDevice(Globals().PortNumber.load())));
        return;
    }
    m_phase = Phase::Drawing;
    m_images = RReportImages{};
    m_images.screenDpi = ReportScreenDpi();
    m_drawn = 0;
    QTimer::singleShot(0, this, &TReportForm::DrawNextCharts);
}

void TReportForm::DrawNextCharts()
{
    if (m_phase != Phase::Drawing)
        return;
    if (m_cancelDrawing) {
        Ended(Text(ReportText::kCancelled));
        return;
    }
    if (m_drawn < m_report->packs.size()) {
        DrawPackCharts(m_report->packs[m_drawn++], m_store.TextOper(), m_images);
        QTimer::singleShot(0, this, &TReportForm::DrawNextCharts);
        return;
    }
    StartWriting();
}

void TReportForm::StartWriting()
{
    m_phase = Phase::Writing;
    m_writeError.clear();
    BtnReportCancel->setEnabled(false);
    const RReport report = *m_report;
    const RReportImages images = m_images;
    const RReportFiles files = m_files;
    const bool started = m_worker->start([report, images, files](const TBusWorker::Job& run) {
        QString error;
        if (!WriteReportFiles(report, images, files, TTextOper(), &error))
            run.deliver(error.isEmpty() ? QStringLiteral("?") : error);
    });
    if (!started)
        Ended(QStringLiteral("the report could not be written: another job runs"));
}

QString TReportForm::SavedText(const RReport& report) const
{
    const QString path = QDir::toNativeSeparators(m_files.pdf);
    QStringList packs;
    for (const std::uint8_t pack : UncheckedPacks(report))
        packs << QString::number(pack);
    QString text = packs.isEmpty() ? Text(ReportText::kSaved).arg(path)
                                   : Text(ReportText::kSavedIncomplete).arg(packs.join(QStringLiteral(", ")), path);
    if (report.referenceResult != 0)
        text += QLatin1Char('\n')
            + Text(ReportText::kReferenceNotRead)
                  .arg(report.referencePack)
                  .arg(m_store.TextOper().GetErrorText(report.referenceResult));
    return text;
}

void TReportForm::Ended(const QString& message)
{
    m_phase = Phase::Idle;
    m_report.reset();
    m_images = RReportImages{};
    ShowRunning(false);
    BtnReportCancel->setEnabled(true);
    LabelReportState->setText(message);
}

void TReportForm::ShowRunning(bool running)
{
    BtnMake->setEnabled(!running);
    for (QWidget* field : std::initializer_list<QWidget*>{EditPacks, EditReference, EditPdf, CheckHtml, CheckLogs,
                                                          BtnBrowsePdf, BtnBrowseReference})
        field->setEnabled(!running);
}
