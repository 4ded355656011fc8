#include "views/framepackhistory.h"

#include "protocol/result_codes.h"
#include "services/settings.h"
#include "services/text_ids.h"
#include "services/textoper.h"
#include "store/bus_jobs.h"
#include "store/bus_texts.h"
#include "store/bus_worker.h"
#include "store/devinfo.h"
#include "store/history_log.h"
#include "store/pack_list.h"
#include "store/pack_loop.h"
#include "store/realtime_row.h"
#include "views/csv_export.h"
#include "views/message_boxes.h"
#include "views/family_view.h"
#include "views/port_check.h"
#include "views/overview_grid.h"
#include "views/reading_chart.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <QVariant>

#include <algorithm>
#include <array>
#include <optional>
#include <utility>
#include <vector>

namespace {

constexpr int kPanelHeight = 40;
constexpr int kButtonWidth = 70;
constexpr int kButtonHeight = 30;
constexpr int kHeaderRowHeight = 25;   // rows 0 and 1 of the grid
constexpr int kRowHeight = 20;
constexpr int kTimeColumn = 2;
constexpr int kModeColumn = 3;

// Widths of the alarm log's columns up to the highest cell voltage; the
// work-data log has the same first eight, then no alarm columns, and its
// highest cell voltage and ambient temperature are 75 and 50 wide.
constexpr std::array<int, 15> kAlarmLeadingWidths = {40, 50, 120, 60, 60, 60, 50, 110, 50, 250, 75, 64, 75, 50, 65};
constexpr std::array<int, 13> kWorkLeadingWidths = {40, 50, 120, 60, 60, 60, 50, 110, 75, 75, 50, 50, 65};
constexpr int kTemperatureWidth = 40;
constexpr int kCellWidth = 50;
constexpr int kDeviceCodeWidth = 200;

std::vector<int> ColumnWidths(bool alarmLog)
{
    std::vector<int> widths;
    if (alarmLog)
        widths.assign(kAlarmLeadingWidths.begin(), kAlarmLeadingWidths.end());
    else
        widths.assign(kWorkLeadingWidths.begin(), kWorkLeadingWidths.end());
    widths.insert(widths.end(), kMaxCellTemperatures, kTemperatureWidth);
    widths.insert(widths.end(), kMaxCells, kCellWidth);
    widths.push_back(kDeviceCodeWidth);
    return widths;
}

QString Text(std::uint16_t id)
{
    return TTextOper().GetLanguageText(id);
}

// Rows of records alternate light blue and light yellow-green, counted as
// the grid counts them (the header is row 0); every text is centred.
class HistoryCellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        PaintGridCell(painter, option.rect, option.font, index.data(Qt::DisplayRole).toString(),
                      ColorFromBgr(RowBackgroundBgr(index.row() + 1)), ColorFromBgr(kBgrBlack), CellAlign::Centre);
    }
};

QPushButton* PanelButton(const char* name, const char* caption, QWidget* parent)
{
    auto* button = new QPushButton(QString::fromUtf8(caption), parent);
    button->setObjectName(QLatin1String(name));
    button->setFixedSize(kButtonWidth, kButtonHeight);
    return button;
}

} // namespace

TFramePackHistory::TFramePackHistory(bool alarmLog, int pageIndex, QWidget* parent)
    : QFrame(parent)
    , m_alarmLog(alarmLog)
    , m_pageIndex(pageIndex)
{
    m_model = new HistoryLogModel(alarmLog, this);

    StringGrid1 = new QTableView(this);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->setModel(m_model);
    StringGrid1->setItemDelegate(new HistoryCellDelegate(StringGrid1));
    StringGrid1->verticalHeader()->hide();
    StringGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    StringGrid1->verticalHeader()->setDefaultSectionSize(kRowHeight);
    StringGrid1->horizontalHeader()->setFixedHeight(kHeaderRowHeight);
    StringGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    StringGrid1->horizontalHeader()->setHighlightSections(false);
    StringGrid1->setSelectionMode(QAbstractItemView::NoSelection);
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setShowGrid(true);
    StringGrid1->setWordWrap(false);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(kPanelHeight);
    BtnRead = PanelButton("BtnRead", "读数", Panel1);
    BtnStop = PanelButton("BtnStop", "停止", Panel1);
    BtnDelete = PanelButton("BtnDelete", "删除", Panel1);
    BtnExp = PanelButton("BtnExp", "导出", Panel1);
    auto* row = new QHBoxLayout(Panel1);
    row->setContentsMargins(5, 5, 5, 5);
    row->setSpacing(5);
    for (QPushButton* button : {BtnRead, BtnStop, BtnDelete, BtnExp})
        row->addWidget(button);
    CheckAllPacks = new QCheckBox(Panel1);
    CheckAllPacks->setObjectName(QStringLiteral("CheckAllPacks"));
    row->addWidget(CheckAllPacks);
    if (!alarmLog) {
        BtnRecordChart = PanelButton("BtnRecordChart", "曲线", Panel1);
        row->addWidget(BtnRecordChart);
        connect(BtnRecordChart, &QPushButton::clicked, this, &TFramePackHistory::BtnRecordChartClick);
    }
    row->addStretch(1);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(StringGrid1, 1);
    column->addWidget(Panel1);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kTimerMs);

    // BtnRead goes through the main window, which forwards to BtnReadClick.
    connect(BtnStop, &QPushButton::clicked, this, &TFramePackHistory::BtnStopClick);
    connect(BtnDelete, &QPushButton::clicked, this, &TFramePackHistory::BtnDeleteClick);
    connect(BtnExp, &QPushButton::clicked, this, &TFramePackHistory::BtnExpClick);
    connect(Timer1, &QTimer::timeout, this, &TFramePackHistory::Timer1Timer);
    qRegisterMetaType<RHistoryPageRow>();
    qRegisterMetaType<RHistoryStep>();
    qRegisterMetaType<RAllPackLogs>();
    m_worker = new TBusWorker(this);
    connect(m_worker, &TBusWorker::delivered, this, &TFramePackHistory::Delivered);
    connect(m_worker, &TBusWorker::finished, this, &TFramePackHistory::JobFinished);
    // Closing the window stops a transfer with every other job: its stop
    // request is queued before the worker shuts down.
    m_worker->setOnShutDown([this] { BeginShutdown(); });
}

TFramePackHistory::~TFramePackHistory()
{
    Timer1->stop();
    // Runs what is queued (a stop request) and joins, while the page is
    // still whole.
    delete m_worker;
}

TFramePackWorkDataInfo::TFramePackWorkDataInfo(QWidget* parent)
    : TFramePackHistory(false, kPageIndex, parent)
{
}

TFramePackAlarmDataInfo::TFramePackAlarmDataInfo(QWidget* parent)
    : TFramePackHistory(true, kPageIndex, parent)
{
}

void TFramePackHistory::InitGrid()
{
    m_model->clearRecords();
    StringGrid1->verticalHeader()->resizeSection(0, kHeaderRowHeight);
    ApplyLanguage();
    Timer1->setInterval(kTimerMs);
    Timer1->stop();
    m_reading = false;
    SetIdleButtons(true);
}

void TFramePackHistory::ApplyLanguage()
{
    BtnRead->setText(Text(TextId::kReadRecords));
    BtnStop->setText(Text(TextId::kStopReading));
    BtnDelete->setText(Text(TextId::kDelete));
    BtnExp->setText(Text(TextId::kExport));
    CheckAllPacks->setText(Text(BusText::kAllPacks));
    if (BtnRecordChart)
        BtnRecordChart->setText(Text(TextId::kChart));
    if (m_recordChart) {
        m_recordChart->setWindowTitle(Text(TextId::kRecordChart));
        m_recordChart->ApplyLanguage();
    }
    m_model->applyLanguage(TTextOper());
    // The specified widths, widened where a header of the language in force,
    // the time or the longest mode would be clipped.
    const std::vector<int> widths = ColumnWidths(m_alarmLog);
    for (int column = 0; column < int(widths.size()); ++column) {
        QString widest;
        if (column == kTimeColumn)
            widest = QStringLiteral("0000-00-00 00:00:00");
        else if (column == kModeColumn)
            widest = GetModeText(2);
        SetFittingColumnWidth(StringGrid1, column, widths[std::size_t(column)], widest);
    }
}

void TFramePackHistory::AddRecordRow(const RHistoryRecord& record)
{
    m_model->addRecord(record, m_deviceCode);
    if (m_model->recordCount() == 1)
        StringGrid1->verticalHeader()->resizeSection(0, kHeaderRowHeight);
}

void TFramePackHistory::BtnRecordChartClick()
{
    // Each point with its row. The pack keeps its log in the order it wrote
    // it; the chart wants time order, and the bars show the newest record.
    std::vector<std::pair<RReadingPoint, int>> dated;
    for (int row = 0; row < m_model->recordCount(); ++row)
        if (const std::optional<RReadingPoint> point = ReadingPointOf(m_model->record(row)))
            dated.emplace_back(*point, row);
    std::stable_sort(dated.begin(), dated.end(),
                     [](const auto& a, const auto& b) { return a.first.timeMs < b.first.timeMs; });
    std::vector<RReadingPoint> points;
    points.reserve(dated.size());
    for (const auto& entry : dated)
        points.push_back(entry.first);

    if (!m_recordChart) {
        m_recordChart = new TReadingChart(this, Qt::Window);
        m_recordChart->setObjectName(QStringLiteral("RecordChartWindow"));
        m_recordChart->resize(1100, 700);
    }
    m_recordChart->setWindowTitle(Text(TextId::kRecordChart));
    m_recordChart->ClearPoints();
    m_recordChart->AppendPoints(points);
    m_recordChart->ShowCells(dated.empty() ? std::array<std::uint16_t, kMaxCells>{}
                                           : m_model->record(dated.back().second).cellVoltages);
    m_recordChart->ShowAll();
    m_recordChart->show();
    m_recordChart->raise();
    m_recordChart->activateWindow();
}

TReadingChart* TFramePackHistory::RecordChart() const
{
    return m_recordChart;
}

void TFramePackHistory::SetIdleButtons(bool idle)
{
    BtnRead->setEnabled(idle);
    BtnStop->setEnabled(!idle);
    CheckAllPacks->setEnabled(idle);
}

// ---- Transfer.

void TFramePackHistory::BtnReadClick()
{
    if (m_shutDown)
        return;
    const AppGlobals& globals = Globals();
    if (!PortReady(this, m_store))
        return;
    // Another maker's pack keeps no records we can read: it is not asked.
    // Over all packs only those are left out; with none left, nothing runs.
    RForeignScreen screen;
    if (CheckAllPacks->isChecked())
        screen = ScreenForeignPacks(*m_store, AllPacks(globals.PackCount.load()));
    else if (auto refusal = ForeignPackRefusal(*m_store, globals.SelectedAddress, globals.SelectedPack))
        screen.refusals << *refusal;
    else
        screen.packs.push_back(globals.SelectedPack);
    m_skipped = screen.refusals;
    if (screen.packs.empty()) {
        MessageBoxes::Inform(this, m_skipped.join(QLatin1Char('\n')));
        return;
    }
    if (MessageBoxes::Ask(this, Text(TextId::kConfirmReadRecords)) != MessageBoxes::Answer::Ok)
        return;

    InitGrid();
    m_rowsOfPack = 0;
    m_rowsPack = 0;
    m_portLost = false;
    // "All packs": each pack's log in turn into the same grid, the PackNo
    // column telling them apart.
    m_allPacksRun = CheckAllPacks->isChecked();
    if (m_allPacksRun) {
        StartAllPacks(screen.packs);
    } else {
        StartTransfer(globals.SelectedAddress, globals.SelectedPack);
    }
}

void TFramePackHistory::StartAllPacks(const std::vector<std::uint8_t>& packs)
{
    m_stopAsked = false;
    TDevInfo* store = m_store;
    const bool alarmLog = m_alarmLog;
    // Queued behind the stop request of a transfer stopped a moment ago.
    if (!m_worker->enqueue([store, packs, alarmLog](const TBusWorker::Job& job) {
            const RAllPackLogs logs = ReadAllPackLogs(
                *store, packs, alarmLog, job.control(),
                [&job](std::uint8_t pack, int, const RHistoryRecord& record, const QString& deviceCode) {
                    job.deliver(QVariant::fromValue(RHistoryPageRow{pack, record, deviceCode}));
                    return true;
                });
            job.deliver(QVariant::fromValue(logs));
        }))
        return;
    m_reading = true;
    SetIdleButtons(false);
}

void TFramePackHistory::Delivered(const QVariant& value)
{
    if (value.metaType() == QMetaType::fromType<RHistoryStep>())
        TakeStep(value.value<RHistoryStep>());
    else if (value.metaType() == QMetaType::fromType<RHistoryPageRow>())
        AllPacksRow(value.value<RHistoryPageRow>());
    else if (value.metaType() == QMetaType::fromType<RAllPackLogs>())
        m_allPacksResult = value.value<RAllPackLogs>();
}

void TFramePackHistory::JobFinished(bool cancelled)
{
    // The run over all packs is the last job queued while it runs.
    if (m_allPacksRun && !m_worker->isBusy())
        AllPacksFinished(cancelled);
}

void TFramePackHistory::AllPacksRow(const RHistoryPageRow& row)
{
    if (row.pack != m_rowsPack) {
        m_rowsPack = row.pack;
        m_rowsOfPack = 0;
    }
    ++m_rowsOfPack;
    m_deviceCode = row.deviceCode;
    AddRecordRow(row.record);
    const QModelIndex last = m_model->index(m_model->rowCount() - 1, 0);
    StringGrid1->setCurrentIndex(last);
    StringGrid1->scrollTo(last);
}

void TFramePackHistory::AllPacksFinished(bool cancelled)
{
    m_reading = false;
    m_allPacksRun = false;
    SetIdleButtons(true);
    const RAllPackLogs run = std::exchange(m_allPacksResult, RAllPackLogs{});
    if (m_shutDown)
        return;
    // Stopped (by the user, or by closing the port): the grid shows what
    // came, and the message which packs' logs came whole.
    if (m_stopAsked || cancelled || run.loop.cancelled) {
        const std::vector<std::uint8_t> whole = run.complete();
        QString text = Text(TextId::kReadingStoppedPacksDone) + QLatin1Char(' ')
                       + (whole.empty() ? Text(TextId::kNoPacks) : FormatPackList(whole));
        const std::vector<std::uint8_t> rest = run.incomplete();
        if (!rest.empty())
            text += QLatin1Char('\n') + Text(BusText::kPacksNotRead) + QLatin1Char(' ') + FormatPackList(rest);
        MessageBoxes::Inform(this, text);
        return;
    }
    if (run.loop.portLost) {
        // The pack under way is the one whose transfer the lost port ended.
        std::uint8_t lostPack = 0;
        int rows = 0;
        for (const RPackLogOutcome& outcome : run.packs) {
            if (run.loop.reachOf(outcome.pack) == RPackReach::PortLost) {
                lostPack = outcome.pack;
                rows = outcome.pack == m_rowsPack ? m_rowsOfPack : 0;
            }
        }
        const std::vector<std::uint8_t> lost = run.loop.packsWith(RPackReach::PortLost);
        if (lostPack == 0 && !lost.empty())
            lostPack = lost.front();   // gone before any record of it came
        std::vector<std::uint8_t> notRead;
        for (std::uint8_t pack : lost)
            if (pack != lostPack)
                notRead.push_back(pack);
        SayPortLost(lostPack, rows, notRead);
        return;
    }
    std::vector<std::uint8_t> silent;
    for (const RPackLogOutcome& outcome : run.packs)
        if (outcome.end == HistoryTransferEnd::NoAnswer)
            silent.push_back(outcome.pack);
    if (!silent.empty()) {
        MessageBoxes::Inform(this, Text(TextId::kReadingFinished) + QLatin1Char('\n') + Text(BusText::kSilentPacks)
                                       + QLatin1Char(' ') + FormatPackList(silent) + SkippedLines());
        return;
    }
    MessageBoxes::Inform(this, Text(TextId::kReadingFinished) + SkippedLines());
}

QString TFramePackHistory::SkippedLines() const
{
    return m_skipped.isEmpty() ? QString() : QLatin1Char('\n') + m_skipped.join(QLatin1Char('\n'));
}

void TFramePackHistory::SayPortLost(std::uint8_t pack, int rows, const std::vector<std::uint8_t>& notRead)
{
    QString text = Text(BusText::kRecordsPortLost)
                       .arg(PortName(*m_store, Globals().PortNumber.load()))
                       .arg(pack)
                       .arg(rows);
    if (!notRead.empty())
        text += QLatin1Char('\n') + Text(BusText::kPacksNotRead) + QLatin1Char(' ') + FormatPackList(notRead);
    MessageBoxes::Inform(this, text);
}

void TFramePackHistory::StartTransfer(std::uint8_t address, std::uint8_t pack)
{
    m_deviceCode.clear();
    m_transferPack = pack;
    m_transferAddress = address;
    m_refusal.clear();
    TDevInfo* store = m_store;
    const bool alarmLog = m_alarmLog;
    // A person can stop a failing transfer; it is not ended for them.
    m_transfer = std::make_shared<HistoryTransfer>(
        pack,
        [store, address, pack, alarmLog](std::uint8_t subCommand, std::uint8_t& first, std::uint8_t& second,
                                         RHistoryRecord& record) {
            return alarmLog ? store->ReadAlarmRecord(address, pack, subCommand, first, second, record)
                            : store->ReadWorkDataRecord(address, pack, subCommand, first, second, record);
        },
        HistoryTransfer::kNoFailureLimit);
    m_transferEnd = HistoryTransferEnd::Running;
    m_recordsRead = 0;
    const int generation = ++m_generation;

    // The bar code is read first, on the worker like every exchange; the
    // first tick waits for it.
    m_busy = true;
    m_worker->enqueue([store, address, pack, generation](const TBusWorker::Job& job) {
        RHistoryStep step;
        step.generation = generation;
        step.barCodeOnly = true;
        step.barCodeRead = store->ReadBarCode(address, pack, step.barCode) == ResultCode::kSuccess;
        step.barCode = step.barCode.trimmed();
        job.deliver(QVariant::fromValue(step));
    });

    m_reading = true;
    m_noAnswerCount = 0;
    m_readMode = HistorySubCommand::kFirst;
    m_endFlag = 0;
    m_secondStatus = 0;
    Timer1->start();
    SetIdleButtons(false);
}

void TFramePackHistory::Timer1Timer()
{
    if (m_shutDown || Globals().ActivePage.load() != m_pageIndex || !m_reading || m_allPacksRun)
        return;
    // One exchange at a time: a tick that finds one under way waits for
    // the next.
    if (m_busy)
        return;
    if (m_endFlag == kHistoryEndOfLog) {
        FinishTransfer();
        return;
    }
    m_busy = true;
    const std::shared_ptr<HistoryTransfer> transfer = m_transfer;
    const int generation = m_generation;
    m_worker->enqueue([transfer, generation](const TBusWorker::Job& job) {
        RHistoryStep step;
        step.generation = generation;
        step.gotRecord = transfer->Step(step.record);
        step.result = transfer->LastResult();
        step.firstStatus = transfer->FirstStatus();
        step.secondStatus = transfer->SecondStatus();
        step.subCommand = transfer->SubCommand();
        step.noAnswers = transfer->NoAnswerCount();
        step.end = transfer->End();
        step.records = transfer->Records();
        job.deliver(QVariant::fromValue(step));
    });
}

void TFramePackHistory::TakeStep(const RHistoryStep& outcome)
{
    if (outcome.generation != m_generation)
        return;
    m_busy = false;
    if (outcome.barCodeOnly) {
        if (outcome.barCodeRead)
            m_deviceCode = outcome.barCode;
        return;
    }
    m_transferEnd = outcome.end;
    m_recordsRead = outcome.records;
    // A record that came in while the user was stopping is shown too.
    if (outcome.gotRecord) {
        ++m_rowsOfPack;
        AddRecordRow(outcome.record);
        const QModelIndex last = m_model->index(m_model->rowCount() - 1, 0);
        StringGrid1->setCurrentIndex(last);
        StringGrid1->scrollTo(last);
    }
    if (!m_reading)
        return;
    m_readMode = outcome.subCommand;
    m_noAnswerCount = outcome.noAnswers;
    if (outcome.result == ResultCode::kSuccess) {
        m_endFlag = outcome.firstStatus;
        m_secondStatus = outcome.secondStatus;
    }
    // Three missing answers end the transfer on the next tick, as the end
    // mark does, but with a message of their own; so does a port that went
    // away, which no retry brings back.
    if (outcome.end == HistoryTransferEnd::NoAnswer)
        m_endFlag = kHistoryEndOfLog;
    if (outcome.result != ResultCode::kSuccess && m_store && !m_store->IsLinkOpen()) {
        m_portLost = true;
        m_endFlag = kHistoryEndOfLog;
    }
    // The guard found the pack to be another maker's: no retry changes that.
    if (IsFamilyRefusal(outcome.result)) {
        m_refusal = CommandResultText(*m_store, m_transferAddress, m_transferPack, outcome.result);
        m_endFlag = kHistoryEndOfLog;
    }
}

void TFramePackHistory::FinishTransfer()
{
    m_reading = false;
    Timer1->stop();
    SetIdleButtons(true);
    m_noAnswerCount = 0;
    if (m_portLost) {
        // The transfer sends no stop request to a port that is gone.
        SayPortLost(m_transferPack, m_rowsOfPack, {});
        return;
    }
    if (!m_refusal.isEmpty()) {
        MessageBoxes::Inform(this, std::exchange(m_refusal, QString()));
        return;
    }
    // Only the end mark means the whole log came; a pack that fell silent
    // left it incomplete, and the message says so.
    if (m_transferEnd == HistoryTransferEnd::NoAnswer)
        MessageBoxes::Inform(this, Text(TextId::kPackStoppedAnswering).arg(m_recordsRead));
    else
        MessageBoxes::Inform(this, Text(TextId::kReadingFinished));
}

void TFramePackHistory::BtnStopClick()
{
    if (MessageBoxes::Ask(this, Text(TextId::kConfirmStopReading)) != MessageBoxes::Answer::Ok)
        return;
    // A transfer that ended while the question was open needs no stop.
    if (!m_reading)
        return;
    if (m_allPacksRun) {
        // The pack being read gets one stop request; the rest are not
        // asked. The buttons come back when the job has ended.
        m_stopAsked = true;
        m_reading = false;
        m_worker->cancel();
        BtnStop->setEnabled(false);
        return;
    }
    m_reading = false;
    Timer1->stop();
    m_readMode = HistorySubCommand::kStop;
    SetIdleButtons(true);
    QueueStop();
}

void TFramePackHistory::QueueStop()
{
    // After the exchange under way, if any; the transfer sends its stop
    // request only while it has not ended, and only once.
    const std::shared_ptr<HistoryTransfer> transfer = m_transfer;
    if (transfer)
        m_worker->enqueue([transfer](const TBusWorker::Job&) { transfer->Stop(); });
}

void TFramePackHistory::BtnDeleteClick()
{
    // The pack's log is not touched; a running transfer goes on into row 1.
    m_model->clearRecords();
    m_rowsOfPack = 0;
    StringGrid1->verticalHeader()->resizeSection(0, kHeaderRowHeight);
}

void TFramePackHistory::BtnExpClick()
{
    const HistoryLogModel* log = m_model;
    ExportGridToCsv(this, log->csvLineCount(), [log](int line) { return log->csvLine(line); }, Globals().AppPath);
}

void TFramePackHistory::Shutdown()
{
    // The stop request is queued first (BeginShutdown), then every job of
    // the page is joined.
    m_worker->shutDown();
    m_worker->join();
}

void TFramePackHistory::BeginShutdown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    Timer1->stop();
    if (m_reading && !m_allPacksRun) {
        m_reading = false;
        m_readMode = HistorySubCommand::kStop;
        SetIdleButtons(true);
        QueueStop();
    }
    // A run over all packs is cancelled by the worker's shut-down.
    // Nothing the worker still hands back is taken.
    ++m_generation;
}
