#include "views/traffic_console.h"

#include "protocol/command_catalogue.h"
#include "services/text_ids.h"
#include "services/textoper.h"
#include "services/traffic_text.h"
#include "views/file_dialogs.h"
#include "views/message_boxes.h"

#include <QApplication>
#include <QBrush>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <set>
#include <utility>

namespace {

QString Text(std::uint16_t id)
{
    return TTextOper().GetLanguageText(id);
}

QString TimeText(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("HH:mm:ss.zzz"));
}

// An exchange heard on a bus another master polls: this program sent
// nothing of it, so its request time is marked as heard.
QString HeardMark(const RTrafficRecord& record)
{
    return record.heard ? QLatin1Char(' ') + Text(TextId::kTrafficHeard) : QString();
}

} // namespace

// ---------------------------------------------------------------- model

TTrafficModel::TTrafficModel(TTrafficLog& log, QObject* parent) : QAbstractTableModel(parent), m_log(log) {}

int TTrafficModel::Fetch()
{
    std::vector<RTrafficRecord> fresh = m_log.Since(m_lastSequence);
    if (fresh.empty())
        return 0;
    m_lastSequence = fresh.back().sequence;
    const std::size_t capacity = m_log.Capacity();
    if (fresh.size() > capacity)
        fresh.erase(fresh.begin(), fresh.end() - std::ptrdiff_t(capacity));
    // The oldest rows make room, so the table never holds more than the ring.
    const std::size_t excess = m_rows.size() + fresh.size() > capacity ? m_rows.size() + fresh.size() - capacity : 0;
    if (excess > 0) {
        beginRemoveRows({}, 0, int(excess) - 1);
        m_rows.erase(m_rows.begin(), m_rows.begin() + std::ptrdiff_t(excess));
        endRemoveRows();
    }
    const int first = int(m_rows.size());
    beginInsertRows({}, first, first + int(fresh.size()) - 1);
    for (RTrafficRecord& record : fresh)
        m_rows.push_back(std::move(record));
    endInsertRows();
    return int(fresh.size());
}

void TTrafficModel::ClearRows()
{
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void TTrafficModel::RetranslateHeader()
{
    emit headerDataChanged(Qt::Horizontal, 0, ColCount - 1);
    if (!m_rows.empty())
        emit dataChanged(index(0, ColResult), index(rowCount() - 1, ColResult));
}

int TTrafficModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int TTrafficModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColCount;
}

QVariant TTrafficModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const RTrafficRecord& record = Record(index.row());
    if (role == Qt::ForegroundRole)
        return record.Failed() ? QVariant(QBrush(Qt::red)) : QVariant();
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    switch (index.column()) {
    case ColSent: return TimeText(record.sentMs) + HeardMark(record);
    case ColAnswered: return TimeText(record.answeredMs);
    case ColElapsed: return QString::number(record.elapsedMs);
    case ColAddress: return QString::number(record.address);
    case ColCommand: return record.CommandName();
    case ColResult: return TrafficResultText(record);
    case ColRequest: return EscapeWireBytes(record.request);
    case ColAnswer: return TrafficAnswerText(record);
    default: return {};
    }
}

QVariant TTrafficModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static constexpr std::uint16_t kHeaders[ColCount] = {
        TextId::kTrafficSent,    TextId::kTrafficAnswered, TextId::kTrafficElapsed, TextId::kTrafficAddress,
        TextId::kTrafficCommand, TextId::kTrafficResult,   TextId::kTrafficRequest, TextId::kTrafficAnswer};
    return section >= 0 && section < ColCount ? Text(kHeaders[section]) : QString();
}

// ---------------------------------------------------------------- filter

void TTrafficFilter::SetAddress(int address)
{
    m_address = address;
    invalidateFilter();
}

void TTrafficFilter::SetCid2(int cid2)
{
    m_cid2 = cid2;
    invalidateFilter();
}

bool TTrafficFilter::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    Q_UNUSED(sourceParent);
    const auto* model = static_cast<const TTrafficModel*>(sourceModel());
    const RTrafficRecord& record = model->Record(sourceRow);
    return (m_address == 0 || record.address == m_address) && (m_cid2 < 0 || record.cid2 == m_cid2);
}

// ---------------------------------------------------------------- window

TTrafficConsole::TTrafficConsole(TTrafficLog& log, QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("TrafficConsole"));
    resize(1000, 500);
    m_model = new TTrafficModel(log, this);
    m_filter = new TTrafficFilter(this);
    m_filter->setSourceModel(m_model);

    auto* column = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    BtnTrafficPause = new QPushButton(this);
    BtnTrafficPause->setObjectName(QStringLiteral("BtnTrafficPause"));
    BtnTrafficPause->setCheckable(true);
    LabelTrafficAddress = new QLabel(this);
    LabelTrafficAddress->setObjectName(QStringLiteral("LabelTrafficAddress"));
    ComboTrafficAddress = new QComboBox(this);
    ComboTrafficAddress->setObjectName(QStringLiteral("ComboTrafficAddress"));
    ComboTrafficAddress->addItem(QString(), 0);
    for (int address = 1; address <= 16; ++address)
        ComboTrafficAddress->addItem(QString::number(address), address);
    LabelTrafficCommand = new QLabel(this);
    LabelTrafficCommand->setObjectName(QStringLiteral("LabelTrafficCommand"));
    ComboTrafficCommand = new QComboBox(this);
    ComboTrafficCommand->setObjectName(QStringLiteral("ComboTrafficCommand"));
    ComboTrafficCommand->addItem(QString(), -1);
    for (const CommandInfo& info : kCommandCatalogue)
        ComboTrafficCommand->addItem(QString::fromLatin1(info.name.data(), qsizetype(info.name.size())), info.cid2);
    BtnTrafficCopy = new QPushButton(this);
    BtnTrafficCopy->setObjectName(QStringLiteral("BtnTrafficCopy"));
    BtnTrafficSave = new QPushButton(this);
    BtnTrafficSave->setObjectName(QStringLiteral("BtnTrafficSave"));
    BtnTrafficClear = new QPushButton(this);
    BtnTrafficClear->setObjectName(QStringLiteral("BtnTrafficClear"));
    bar->addWidget(BtnTrafficPause);
    bar->addSpacing(12);
    bar->addWidget(LabelTrafficAddress);
    bar->addWidget(ComboTrafficAddress);
    bar->addWidget(LabelTrafficCommand);
    bar->addWidget(ComboTrafficCommand);
    bar->addStretch(1);
    bar->addWidget(BtnTrafficCopy);
    bar->addWidget(BtnTrafficSave);
    bar->addWidget(BtnTrafficClear);
    column->addLayout(bar);

    TrafficTable = new QTableView(this);
    TrafficTable->setObjectName(QStringLiteral("TrafficTable"));
    TrafficTable->setModel(m_filter);
    TrafficTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    TrafficTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TrafficTable->setWordWrap(false);
    TrafficTable->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    QHeaderView* header = TrafficTable->horizontalHeader();
    header->setStretchLastSection(true);
    // Widths for typical contents: measuring 10,000 rows would cost more.
    const std::pair<int, int> widths[] = {{TTrafficModel::ColSent, 90},    {TTrafficModel::ColAnswered, 90},
                                          {TTrafficModel::ColElapsed, 70}, {TTrafficModel::ColAddress, 50},
                                          {TTrafficModel::ColCommand, 170}, {TTrafficModel::ColResult, 240},
                                          {TTrafficModel::ColRequest, 200}};
    for (const auto& [section, width] : widths)
        header->resizeSection(section, width);
    column->addWidget(TrafficTable, 1);

    connect(ComboTrafficAddress, &QComboBox::currentIndexChanged, this, &TTrafficConsole::FilterChanged);
    connect(ComboTrafficCommand, &QComboBox::currentIndexChanged, this, &TTrafficConsole::FilterChanged);
    connect(BtnTrafficCopy, &QPushButton::clicked, this, &TTrafficConsole::CopyLines);
    connect(BtnTrafficSave, &QPushButton::clicked, this, &TTrafficConsole::SaveAs);
    connect(BtnTrafficClear, &QPushButton::clicked, m_model, &TTrafficModel::ClearRows);
    // Resuming catches up with what came meanwhile (as far as the ring holds it).
    connect(BtnTrafficPause, &QPushButton::toggled, this, [this](bool paused) {
        if (!paused)
            Refresh();
    });
    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &TTrafficConsole::Refresh);
    m_timer->start(kRefreshMs);
    ApplyLanguage();
    Refresh();
}

void TTrafficConsole::ApplyLanguage()
{
    setWindowTitle(Text(TextId::kTrafficConsole));
    BtnTrafficPause->setText(Text(TextId::kTrafficPause));
    LabelTrafficAddress->setText(Text(TextId::kTrafficAddress));
    LabelTrafficCommand->setText(Text(TextId::kTrafficCommand));
    ComboTrafficAddress->setItemText(0, Text(TextId::kTrafficAll));
    ComboTrafficCommand->setItemText(0, Text(TextId::kTrafficAll));
    BtnTrafficCopy->setText(Text(TextId::kTrafficCopy));
    BtnTrafficSave->setText(Text(TextId::kTrafficSaveAs));
    BtnTrafficClear->setText(Text(TextId::kTrafficClear));
    m_model->RetranslateHeader();
}

void TTrafficConsole::Refresh()
{
    if (BtnTrafficPause->isChecked())
        return;
    // Follows new traffic only while the view is at the bottom, so that a
    // user reading older rows is not pulled away.
    QScrollBar* scroll = TrafficTable->verticalScrollBar();
    const bool atBottom = scroll->value() >= scroll->maximum();
    if (m_model->Fetch() > 0 && atBottom)
        TrafficTable->scrollToBottom();
}

void TTrafficConsole::FilterChanged()
{
    m_filter->SetAddress(ComboTrafficAddress->currentData().toInt());
    m_filter->SetCid2(ComboTrafficCommand->currentData().toInt());
}

QStringList TTrafficConsole::ShownLines(bool selectedOnly) const
{
    std::set<int> rows;
    if (selectedOnly)
        for (const QModelIndex& index : TrafficTable->selectionModel()->selectedRows())
            rows.insert(index.row());
    if (rows.empty())
        for (int row = 0; row < m_filter->rowCount(); ++row)
            rows.insert(row);
    QStringList lines;
    for (int row : rows) {
        const RTrafficRecord& record = m_model->Record(m_filter->mapToSource(m_filter->index(row, 0)).row());
        lines << (record.heard ? Text(TextId::kTrafficHeard) + QLatin1Char(' ') : QString()) + TrafficLine(record);
    }
    return lines;
}

void TTrafficConsole::CopyLines()
{
    QApplication::clipboard()->setText(ShownLines(true).join(QLatin1Char('\n')) + QLatin1Char('\n'));
}

bool TTrafficConsole::SaveAs()
{
    const QString path = FileDialogs::AskSaveFileInHome(this, Text(TextId::kTrafficSaveAs),
                                                        Text(TextId::kTrafficTextFiles), QStringLiteral("txt"));
    if (path.isEmpty())
        return false;
    QSaveFile file(path);
    bool written = file.open(QIODevice::WriteOnly | QIODevice::Text);
    for (const QString& line : ShownLines(false)) {
        if (!written)
            break;
        written = file.write((line + QLatin1Char('\n')).toUtf8()) >= 0;
    }
    if (!written || !file.commit()) {
        MessageBoxes::Warn(this, Text(TextId::kTrafficCannotWrite).arg(QDir::toNativeSeparators(path)));
        return false;
    }
    return true;
}
