#include "store/history_log.h"

#include "services/textoper.h"
#include "store/realtime_row.h"

#include <algorithm>

HistoryLogModel::HistoryLogModel(bool alarmLog, QObject* parent)
    : QAbstractTableModel(parent)
    , m_alarmLog(alarmLog)
{
}

int HistoryLogModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : std::max(recordCount(), 1);
}

int HistoryLogModel::columnCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return m_alarmLog ? kAlarmRecordLogColumns : kWorkDataLogColumns;
}

QString HistoryLogModel::cell(int row, int column) const
{
    if (row < 0 || row >= recordCount())
        return {};
    const Row& entry = m_rows[std::size_t(row)];
    return HistoryLogCell(column, row + 1, entry.record, m_alarmLog, entry.deviceCode, TTextOper());
}

QVariant HistoryLogModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    if (role != Qt::DisplayRole)
        return {};
    return cell(index.row(), index.column());
}

QVariant HistoryLogModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section >= m_headers.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    return m_headers[section];
}

void HistoryLogModel::applyLanguage(const TTextOper& texts)
{
    m_headers = HistoryLogHeaders(m_alarmLog, texts);
    emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
    if (recordCount() > 0)
        emit dataChanged(index(0, 0), index(recordCount() - 1, columnCount() - 1));
}

void HistoryLogModel::addRecord(const RHistoryRecord& record, const QString& deviceCode)
{
    // The first record fills the empty row that a log without records shows.
    if (m_rows.empty()) {
        m_rows.push_back(Row{record, deviceCode});
        emit dataChanged(index(0, 0), index(0, columnCount() - 1));
        return;
    }
    const int row = recordCount();
    beginInsertRows({}, row, row);
    m_rows.push_back(Row{record, deviceCode});
    endInsertRows();
}

void HistoryLogModel::clearRecords()
{
    beginResetModel();
    m_rows.clear();
    m_rows.shrink_to_fit();
    endResetModel();
}

QStringList HistoryLogModel::csvLine(int line) const
{
    if (line == 0)
        return m_headers.isEmpty() ? QStringList(columnCount(), QString()) : m_headers;
    QStringList cells;
    cells.reserve(columnCount());
    for (int column = 0; column < columnCount(); ++column)
        cells << cell(line - 1, column);
    return cells;
}
