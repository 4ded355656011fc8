#include "views/framerealtimedata.h"

#include "services/settings.h"
#include "services/text_ids.h"
#include "services/textoper.h"
#include "store/bus_worker.h"
#include "store/realtime_row.h"
#include "store/running_jobs.h"
#include "views/csv_export.h"
#include "views/overview_grid.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QStandardPaths>
#include <QTableView>
#include <QVBoxLayout>
#include <QVariant>

#include <array>
#include <memory>

// What a background save hands back to the frame.
struct RLogSaveDone {
    AutoSaveResult result;
    QStringList folders;
};
Q_DECLARE_METATYPE(RLogSaveDone)

namespace {

constexpr int kRowHeight = 25;
constexpr std::array<int, 18> kLeadingWidths = {50, 50, 110, 80, 80, 45, 45, 110, 100,
                                                60, 60, 80,  80,  50, 50, 80, 80, 110};
constexpr int kTemperatureWidth = 40;
constexpr int kCellWidth = 55;
constexpr int kFirstTemperatureColumn = 18;
constexpr int kFirstCellColumn = 22;
constexpr int kTimeColumn = 2;

int ColumnWidth(int column)
{
    if (column < kFirstTemperatureColumn)
        return kLeadingWidths[std::size_t(column)];
    return column < kFirstCellColumn ? kTemperatureWidth : kCellWidth;
}

} // namespace

TFrameRealTimeData::TFrameRealTimeData(const TDevInfo& store, QWidget* parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("FrameRealTimeData"));
    m_model = new RealtimeLogModel(store, this);

    StringGrid1 = new QTableView(this);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->setModel(m_model);
    StringGrid1->verticalHeader()->hide();
    StringGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    StringGrid1->verticalHeader()->setDefaultSectionSize(kRowHeight);
    StringGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    StringGrid1->horizontalHeader()->setHighlightSections(false);
    StringGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    StringGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setWordWrap(false);
    StringGrid1->setContextMenuPolicy(Qt::CustomContextMenu);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    N1 = PopupMenu1->addAction(QString::fromUtf8("导出"));
    N1->setObjectName(QStringLiteral("N1"));
    N2 = PopupMenu1->addSeparator();
    N2->setObjectName(QStringLiteral("N2"));
    ClearData = PopupMenu1->addAction(QString::fromUtf8("清除数据"));
    ClearData->setObjectName(QStringLiteral("ClearData"));
    connect(StringGrid1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& position) { PopupMenu1->popup(StringGrid1->viewport()->mapToGlobal(position)); });
    connect(N1, &QAction::triggered, this, &TFrameRealTimeData::N1Click);
    connect(ClearData, &QAction::triggered, this, &TFrameRealTimeData::ClearDataClick);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(StringGrid1);
    qRegisterMetaType<RLogSaveDone>();
    m_saver = new TBusWorker(this);
    connect(m_saver, &TBusWorker::delivered, this, [this](const QVariant& value) {
        const RLogSaveDone done = value.value<RLogSaveDone>();
        ReportSave(done.result, done.folders);
    });
    // Saves use no pack: closing the window joins them in AutoSaveRecords,
    // after the port is closed, so that where each log went is still told.
    RunningJobs::Remove(m_saver);
}

TFrameRealTimeData::~TFrameRealTimeData()
{
    // A save still queued or under way is written before the frame goes.
    delete m_saver;
}

void TFrameRealTimeData::InitGrid()
{
    ClearRecords();
    ApplyLanguage();
}

void TFrameRealTimeData::ApplyLanguage()
{
    const TTextOper texts;
    N1->setText(texts.GetLanguageText(TextId::kExport));
    ClearData->setText(texts.GetLanguageText(TextId::kClearData));
    m_model->applyLanguage(texts);
    // The specified widths, widened where a header of the language in force
    // or the time would be clipped.
    for (int column = 0; column < kRealtimeLogColumns; ++column)
        SetFittingColumnWidth(StringGrid1, column, ColumnWidth(column),
                              column == kTimeColumn ? QStringLiteral("0000-00-00 00:00:00") : QString());
}

void TFrameRealTimeData::AddRecord(const RAnalogData& analog, const RAlarmData& alarm)
{
    const AppGlobals& globals = Globals();
    if (!globals.DisplayRecord || !RealtimeReadingHoldsData(analog))
        return;
    if (m_model->isFull()) {
        auto rows = std::make_shared<const RealtimeLogRows>(m_model->takeReadings());
        if (globals.AutoSave) {
            const QStringList folders = AutoSaveFolders();
            const QDateTime now = QDateTime::currentDateTime();
            m_saver->enqueue([rows, folders, now](const TBusWorker::Job& job) {
                job.deliver(QVariant::fromValue(RLogSaveDone{AutoSaveLog(*rows, folders, now), folders}));
            });
        }
    }
    m_model->addReading(analog, alarm);
    if (globals.AutoScroll) {
        const QModelIndex waiting = m_model->index(m_model->rowCount() - 1, 0);
        StringGrid1->setCurrentIndex(waiting);
        StringGrid1->scrollTo(waiting);
    }
}

QStringList TFrameRealTimeData::AutoSaveFolders()
{
    QStringList folders{Globals().DataPath};
    const QString user = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (!user.isEmpty()) {
        const QString userData = QDir(user).filePath(QStringLiteral("Data"));
        if (QDir::cleanPath(userData) != QDir::cleanPath(folders.front()))
            folders << userData;
    }
    return folders;
}

AutoSaveResult TFrameRealTimeData::AutoSaveRecords()
{
    // A background save still running lands first, with its report.
    m_saver->join();
    const QStringList folders = AutoSaveFolders();
    const AutoSaveResult result = AutoSaveLog(m_model->rows(), folders, QDateTime::currentDateTime());
    ReportSave(result, folders);
    return result;
}

void TFrameRealTimeData::ReportSave(const AutoSaveResult& result, const QStringList& folders)
{
    const TTextOper texts;
    if (result.outcome == AutoSaveResult::Outcome::Failed) {
        emit saveReported(texts.GetLanguageText(TextId::kAutoSaveFailed)
                              .arg(QDir::toNativeSeparators(result.folder))
                              .arg(result.rows));
    } else if (result.outcome == AutoSaveResult::Outcome::Saved
               && QFileInfo(result.path).absolutePath() != QDir(folders.front()).absolutePath()) {
        emit saveReported(texts.GetLanguageText(TextId::kAutoSavedElsewhere)
                              .arg(QDir::toNativeSeparators(result.path)));
    }
}

void TFrameRealTimeData::ClearRecords()
{
    m_model->clearReadings();
}

void TFrameRealTimeData::N1Click()
{
    const RealtimeLogModel* log = m_model;
    ExportGridToCsv(this, log->csvLineCount(), [log](int line) { return log->csvLine(line); }, Globals().AppPath);
}

void TFrameRealTimeData::ClearDataClick()
{
    AutoSaveRecords();
    ClearRecords();
}
