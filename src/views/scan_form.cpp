#include "views/scan_form.h"

#include "services/text_ids.h"
#include "services/textoper.h"
#include "store/devinfo.h"
#include "store/bus_worker.h"
#include "store/pack_poller.h"
#include "views/family_view.h"
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
#include <QVariant>
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
    , m_worker(new TBusWorker(this))
{
    qRegisterMetaType<RScanEntry>();
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
    connect(m_worker, &TBusWorker::delivered, this, &TScanForm::AddEntry);
    connect(m_worker, &TBusWorker::finished, this, &TScanForm::ScanEnded);
    // Closing the window shuts the worker down with every other job: the
    // scan stops after its address and this dialog says nothing more.
    m_worker->setOnShutDown([this] { m_closing = true; });
    ApplyLanguage();
}

TScanForm::~TScanForm()
{
    // Nothing is asked or told from a dialog that is going.
    m_closing = true;
    StopScan();
}

void TScanForm::ApplyLanguage()
{
    setWindowTitle(Text(TextId::kScanTitle));
    TableScan->setHorizontalHeaderLabels({Text(TextId::kTrafficAddress), Text(TextId::kScanBarCode),
                                          Text(TextId::kScanVersion), Text(TextId::kScanPackNumber),
                                          Text(TextId::kFamilyCaption)});
    ShowState();
}

void TScanForm::ShowState()
{
    const bool cancelled = m_cancel;
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
    if (m_scanning)
        return;
    m_entries.clear();
    TableScan->setRowCount(0);
    ProgressScan->setValue(0);
    m_cancel = false;
    TDevInfo* store = &m_store;
    const RScanRange range = m_range;
    m_scanning = m_worker->start([store, range](const TBusWorker::Job& job) {
        ScanBus(
            *store, range,
            [&job](const RScanEntry& entry) {
                job.deliver(QVariant::fromValue(entry));
                return true;
            },
            job.control());
    });
    ShowState();
}

void TScanForm::AddEntry(const QVariant& value)
{
    const RScanEntry entry = value.value<RScanEntry>();
    m_entries.push_back(entry);
    ProgressScan->setValue(int(m_entries.size()));
    if (entry.answered() || entry.family.problem != RPackFamilyState::Problem::None) {
        const int row = TableScan->rowCount();
        TableScan->insertRow(row);
        const TTextOper texts;
        const QString family = FamilyStateText(entry.family, texts);
        QStringList cells;
        if (IsForeign(entry.family.family)) {
            const RFamilyIdentity& identity = entry.identity;
            cells = {QString::number(entry.address),
                     !identity.serialNumber.isEmpty() ? identity.serialNumber : identity.deviceName,
                     identity.softwareVersion, QString(), family};
        } else if (entry.answered()) {
            cells = {QString::number(entry.address), entry.barCode, SoftwareVersionHex(entry.softwareVersion),
                     QString::number(entry.echoedPack), family};
        } else {
            cells = {QString::number(entry.address), QString(), QString(), QString(), family};
        }
        for (int column = 0; column < ColCount; ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            item->setTextAlignment(column == ColBarCode ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter);
            TableScan->setItem(row, column, item);
        }
    }
    ShowState();
}

void TScanForm::ScanEnded(bool cancelled)
{
    if (!m_scanning)
        return;
    m_scanning = false;
    // Cancelled from elsewhere too: the port being closed.
    m_cancel = m_cancel || cancelled;
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
    if (highest == 0 && m_cancel)
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
    if (!m_scanning)
        return;
    m_cancel = true;
    m_worker->cancel();
    ShowState();
    // Every entry the job handed over, and its end, arrive before join
    // returns; a closing dialog asks nothing.
    m_worker->join();
    m_scanning = false;
    ShowState();
}

void TScanForm::BtnScanCancelClick()
{
    if (!IsScanning()) {
        accept();
        return;
    }
    // The job stops after the address being asked; ScanEnded follows.
    m_cancel = true;
    m_worker->cancel();
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
