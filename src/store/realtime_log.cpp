#include "store/realtime_log.h"

#include "store/realtime_row.h"

#include <QDir>

RealtimeLogModel::RealtimeLogModel(const TDevInfo& store, QObject* parent)
    : QAbstractTableModel(parent)
    , m_store(store)
{
}

int RealtimeLogModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : readingCount() + 1;
}

int RealtimeLogModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kRealtimeLogColumns;
}

RAlarmData RealtimeLogModel::alarmOf(const Reading& reading) const
{
    RAlarmData alarm;
    alarm.packNumber = reading.analog.packNumber;
    alarm.status = reading.status;
    return alarm;
}

QVariant RealtimeLogModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= readingCount())
        return {};
    const Reading& reading = m_readings[std::size_t(index.row())];
    return RealtimeLogCell(index.column(), index.row() + 1, reading.analog, alarmOf(reading), m_store);
}

QVariant RealtimeLogModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section >= m_headers.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    return m_headers[section];
}

void RealtimeLogModel::applyLanguage(const TTextOper& texts)
{
    m_headers = RealtimeLogHeaders(texts);
    emit headerDataChanged(Qt::Horizontal, 0, kRealtimeLogColumns - 1);
    // The alarm and protection texts follow the language too.
    if (!m_readings.empty())
        emit dataChanged(index(0, 0), index(readingCount() - 1, kRealtimeLogColumns - 1));
}

bool RealtimeLogModel::addReading(const RAnalogData& analog, const RAlarmData& alarm)
{
    if (!RealtimeReadingHoldsData(analog) || isFull())
        return false;
    if (m_readings.capacity() == 0)
        m_readings.reserve(kMaxRows);
    // The new reading fills the waiting empty row, and a new empty row
    // follows it.
    const int row = readingCount() + 1;
    beginInsertRows({}, row, row);
    m_readings.push_back(Reading{analog, alarm.status});
    // The wall-clock time is kept as it reads, marked UTC: formatting a
    // local time looks up the time zone for every cell painted or saved,
    // which made that one column cost more than all others together.
    QDateTime& time = m_readings.back().analog.time;
    time = QDateTime(time.date(), time.time(), Qt::UTC);
    endInsertRows();
    emit dataChanged(index(row - 1, 0), index(row - 1, kRealtimeLogColumns - 1));
    m_lastPack = analog.packNumber;
    return true;
}

void RealtimeLogModel::clearReadings()
{
    if (m_readings.empty())
        return;
    beginResetModel();
    std::vector<Reading>().swap(m_readings);
    endResetModel();
}

QStringList RealtimeLogModel::csvLine(int line) const
{
    if (line == 0)
        return m_headers.isEmpty() ? QStringList(kRealtimeLogColumns, QString()) : m_headers;
    if (line - 1 < readingCount()) {
        const Reading& reading = m_readings[std::size_t(line - 1)];
        return RealtimeLogRow(line, reading.analog, alarmOf(reading), m_store);
    }
    return QStringList(kRealtimeLogColumns, QString());
}

QString AutoSaveFileName(std::uint8_t packNumber, const QDateTime& now)
{
    return QString::number(packNumber) + QLatin1Char('_') + now.toString(QStringLiteral("yyyyMMddHHmmss"))
        + QStringLiteral(".csv");
}

AutoSaveResult AutoSaveLog(const RealtimeLogModel& log, const QStringList& folders, const QDateTime& now)
{
    AutoSaveResult result;
    result.rows = log.readingCount();
    if (result.rows == 0)
        return result;
    const QString name = AutoSaveFileName(log.lastPackNumber(), now);
    result.outcome = AutoSaveResult::Outcome::Failed;
    result.folder = folders.value(0);
    for (const QString& folder : folders) {
        if (folder.isEmpty())
            continue;
        if (!QDir().mkpath(folder)) {
            result.error = QStringLiteral("cannot create %1").arg(QDir::toNativeSeparators(folder));
            continue;
        }
        const QString path = QDir(folder).filePath(name);
        QString error;
        if (WriteCsvFile(path, log.csvLineCount(), [&log](int line) { return log.csvLine(line); }, &error)) {
            result.outcome = AutoSaveResult::Outcome::Saved;
            result.path = path;
            return result;
        }
        result.error = error;
    }
    return result;
}
