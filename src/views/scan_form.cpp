#include "views/scan_form.h"

#include "services/text_ids.h"
#include "services/textoper.h"
#include "store/devinfo.h"
#include "store/pack_poller.h"
#include "store/running_jobs.h"
#include "views/message_boxes.h"
#include "views/modal_run.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace {

QString Text(std::uint16_t id)
{
    return TTextOper().GetLanguageText(id);
}

} // namespace

TScanForm::TScanForm(TDevInfo& store, const RScanRange& range, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_store(store)
    , m_range(range)
{
    setObjectName(QStringLiteral("ScanForm"));
    setModal(true);
    auto* column = new QVBoxLayout(this);
    LabelScanState = new QLabel(this);
    LabelScanState->setObjectName(QStringLiteral("LabelScanState"));
    ProgressScan = new QProgressBar(this);
    ProgressScan->setObjectName(QStringLiteral("ProgressScan"));
    ProgressScan->setRange(0, std::max(m_range.to - m_range.from + 1, 0));
    ProgressScan->setValue(0);
    ProgressScan->setFormat(QStringLiteral("%v / %m"));
    TableScan = new QTableWidget(0, ColCount, this);
    TableScan->setObjectName(QStringLiteral("TableScan"));
    TableScan->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TableScan->setSelectionBehavior(QAbstractItemView::SelectRows);
    TableScan->verticalHeader()->hide();
    TableScan->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    TableScan->horizontalHeader()->setSectionResizeMode(ColBarCode, QHeaderView::Stretch);
    TableScan->setMinimumSize(460, 200);
    BtnScanCancel = new QPushButton(this);
    BtnScanCancel->setObjectName(QStringLiteral("BtnScanCancel"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BtnScanCancel);
    column->addWidget(LabelScanState);
    column->addWidget(ProgressScan);
    column->addWidget(TableScan, 1);
    column->addLayout(buttons);
    connect(BtnScanCancel, &QPushButton::clicked, this, &TScanForm::BtnScanCancelClick);
    ApplyLanguage();
}

TScanForm::~TScanForm()
{
    // Nothing is asked or told from a dialog that is going.
    m_closing = true;
    StopScan();
    RunningJobs::Remove(this);
}

void TScanForm::ApplyLanguage()
{
    setWindowTitle(Text(TextId::kScanTitle));
    TableScan->setHorizontalHeaderLabels({Text(TextId::kTrafficAddress), Text(TextId::kScanBarCode),
                                          Text(TextId::kScanVersion), Text(TextId::kScanPackNumber)});
    ShowState();
}

void TScanForm::ShowState()
{
    const bool cancelled = m_cancel.load();
    if (IsScanning()) {
        const int next = m_entries.empty() ? m_range.from : m_entries.back().address + 1;
        LabelScanState->setText(cancelled ? Text(TextId::kScanCancelling)
                                          : Text(TextId::kScanAsking).arg(std::min(next, m_range.to)));
        BtnScanCancel->setText(Text(TextId::kCancel));
        BtnScanCancel->setEnabled(!cancelled);
        return;
    }
    BtnScanCancel->setEnabled(true);
    BtnScanCancel->setText(Text(TextId::kScanClose));
    if (m_entries.empty()) {
        LabelScanState->clear();
    } else if (cancelled) {
        LabelScanState->setText(Text(TextId::kScanCancelled).arg(m_entries.back().address));
    } else {
        const auto answered = std::count_if(m_entries.begin(), m_entries.end(),
                                            [](const RScanEntry& entry) { return entry.answered(); });
        LabelScanState->setText(Text(TextId::kScanFinished).arg(answered));
    }
}

TScanForm::ExecHook TScanForm::SetExecHook(ExecHook hook)
{
    return TModalRun<TScanForm>::SetHook(std::move(hook));
}

void TScanForm::Run()
{
    Start();
    TModalRun<TScanForm>::Run(*this);
}

void TScanForm::Start()
{
    if (m_thread)
        return;
    m_entries.clear();
    TableScan->setRowCount(0);
    ProgressScan->setValue(0);
    m_cancel.store(false);
    m_thread = QThread::create([this] {
        // The polling thread leaves the link to the scan until it ends.
        const RBusHoldGuard hold(m_store.BusHold(), [this] { return m_cancel.load(); });
        if (hold.held())
            ScanBus(m_store, m_range, [this](const RScanEntry& entry) {
                {
                    const std::lock_guard<std::mutex> locker(m_pendingLock);
                    m_pending.push_back(entry);
                }
                QMetaObject::invokeMethod(this, &TScanForm::TakePending, Qt::QueuedConnection);
                return !m_cancel.load();
            });
        m_runEnded.store(true, std::memory_order_release);
    });
    m_thread->setObjectName(QStringLiteral("bus-scan"));
    m_runEnded.store(false);
    connect(m_thread, &QThread::finished, this, &TScanForm::ScanEnded, Qt::QueuedConnection);
    m_thread->start();
    // Closing the window stops the scan with every other job and closes
    // this dialog without a word.
    RunningJobs::Add(this, {[this] {
                                m_closing = true;
                                m_cancel.store(true);
                            },
                            [this] {
                                StopScan();
                                QDialog::done(QDialog::Rejected);
                            }});
    ShowState();
}

void TScanForm::TakePending()
{
    std::vector<RScanEntry> taken;
    {
        const std::lock_guard<std::mutex> locker(m_pendingLock);
        taken.swap(m_pending);
    }
    for (const RScanEntry& entry : taken)
        AddEntry(entry);
}

void TScanForm::AddEntry(const RScanEntry& entry)
{
    m_entries.push_back(entry);
    ProgressScan->setValue(int(m_entries.size()));
    if (entry.answered()) {
        const int row = TableScan->rowCount();
        TableScan->insertRow(row);
        const QStringList cells = {QString::number(entry.address), entry.barCode,
                                   SoftwareVersionHex(entry.softwareVersion), QString::number(entry.echoedPack)};
        for (int column = 0; column < ColCount; ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            item->setTextAlignment(column == ColBarCode ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter);
            TableScan->setItem(row, column, item);
        }
    }
    ShowState();
}

void TScanForm::ScanEnded()
{
    if (!m_thread)
        return;   // already reaped by StopScan
    m_thread->wait();
    // Pairs with the store at the end of the thread's run, so that what it
    // did is ordered before the thread object goes, as the sanitizer sees.
    m_runEnded.load(std::memory_order_acquire);
    delete m_thread;
    m_thread = nullptr;
    RunningJobs::Remove(this);
    TakePending();
    ShowState();
    if (m_closing)
        return;
    QStringList answered;
    for (const RScanEntry& entry : m_entries)
        if (entry.answered())
            answered.append(QString::number(entry.address));
    const std::uint8_t highest = HighestAnswered(m_entries);
    // Cancel often skips the slow silent addresses after the last pack, so
    // what was found is still offered; a cancelled scan that found nothing
    // says nothing more.
    if (highest == 0 && m_cancel.load())
        return;
    if (highest == 0) {
        MessageBoxes::Inform(this, Text(TextId::kScanNoneAnswered).arg(m_range.from).arg(m_range.to));
        return;
    }
    if (MessageBoxes::Ask(this, Text(TextId::kScanSetPackCount).arg(answered.join(QStringLiteral(", "))).arg(highest))
        == MessageBoxes::Answer::Ok)
        emit packCountChosen(highest);
}

void TScanForm::StopScan()
{
    if (!m_thread)
        return;
    m_cancel.store(true);
    ShowState();
    // The scan may wait for the link lock while the polling thread waits
    // for a call on this thread: those calls go on being delivered.
    while (m_thread && !m_thread->wait(10))
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    ScanEnded();
}

void TScanForm::BtnScanCancelClick()
{
    if (!IsScanning()) {
        accept();
        return;
    }
    // The thread stops after the address being asked; ScanEnded follows.
    m_cancel.store(true);
    ShowState();
}

void TScanForm::done(int result)
{
    if (m_closing)
        return;
    m_closing = true;
    StopScan();
    m_closing = false;
    QDialog::done(result);
}
