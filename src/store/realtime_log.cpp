#include "store/realtime_log.h"

#include "store/realtime_row.h"

#include <QDir>
#include <QFile>

RAlarmData RealtimeLogRows::alarmOf(const Reading& reading) const
{
    RAlarmData alarm;
    alarm.packNumber = reading.analog.packNumber;
    alarm.status = reading.status;
    alarm.family = reading.alarmFamily;
    alarm.extra.statusCount = reading.familyStatusCount;
    alarm.extra.status = reading.familyStatus;
    return alarm;
}

QStringList RealtimeLogRows::csvLine(int line) const
{
    if (line == 0)
        return m_headers.isEmpty() ? QStringList(kRealtimeLogColumns, QString()) : m_headers;
    if (line - 1 < readingCount()) {
        const Reading& reading = m_readings[std::size_t(line - 1)];
        return RealtimeLogRow(line, reading.analog, alarmOf(reading), *m_store);
    }
    return QStringList(kRealtimeLogColumns, QString());
}

RealtimeLogModel::RealtimeLogModel(const TDevInfo& store, QObject* parent)
    : QAbstractTableModel(parent)
    , m_rows(store)
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

QVariant RealtimeLogModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= readingCount())
        return {};
    const RealtimeLogRows::Reading& reading = m_rows.m_readings[std::size_t(index.row())];
    return RealtimeLogCell(index.column(), index.row() + 1, reading.analog, m_rows.alarmOf(reading), *m_rows.m_store);
}

QVariant RealtimeLogModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section >= m_rows.m_headers.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    return m_rows.m_headers[section];
}

void RealtimeLogModel::applyLanguage(const TTextOper& texts)
{
    m_rows.m_headers = RealtimeLogHeaders(texts);
    emit headerDataChanged(Qt::Horizontal, 0, kRealtimeLogColumns - 1);
    // The alarm and protection texts follow the language too.
    if (readingCount() > 0)
        emit dataChanged(index(0, 0), index(readingCount() - 1, kRealtimeLogColumns - 1));
}

bool RealtimeLogModel::addReading(const RAnalogData& analog, const RAlarmData& alarm)
{
    if (!RealtimeReadingHoldsData(analog) || isFull())
        return false;
    std::vector<RealtimeLogRows::Reading>& readings = m_rows.m_readings;
    if (readings.capacity() == 0)
        readings.reserve(kMaxRows);
    // The new reading fills the waiting empty row, and a new empty row
    // follows it.
    const int row = readingCount() + 1;
    beginInsertRows({}, row, row);
    readings.push_back(RealtimeLogRows::Reading{analog, alarm.status, alarm.family, alarm.extra.statusCount,
                                                alarm.extra.status});
    // The wall-clock time is kept as it reads, marked UTC: formatting a
    // local time looks up the time zone for every cell painted or saved,
    // which made that one column cost more than all others together.
    QDateTime& time = readings.back().analog.time;
    time = QDateTime(time.date(), time.time(), Qt::UTC);
    endInsertRows();
    emit dataChanged(index(row - 1, 0), index(row - 1, kRealtimeLogColumns - 1));
    m_rows.m_lastPack = analog.packNumber;
    return true;
}

void RealtimeLogModel::clearReadings()
{
    takeReadings();
}

RealtimeLogRows RealtimeLogModel::takeReadings()
{
    RealtimeLogRows taken(*m_rows.m_store);
    taken.m_headers = m_rows.m_headers;
    taken.m_lastPack = m_rows.m_lastPack;
    if (readingCount() == 0)
        return taken;
    beginResetModel();
    taken.m_readings.swap(m_rows.m_readings);
    endResetModel();
    return taken;
}

namespace {

// Two saves of one pack within a second would share a name; the later one
// gets "_2", "_3", ... rather than replacing the earlier file.
QString FreeFileName(const QDir& folder, const QString& name)
{
    QString path = folder.filePath(name);
    const QString stem = name.chopped(4);   // without ".csv"
    for (int copy = 2; QFile::exists(path); ++copy)
        path = folder.filePath(stem + QStringLiteral("_%1.csv").arg(copy));
    return path;
}

} // namespace

QString AutoSaveFileName(std::uint8_t packNumber, const QDateTime& now)
{
    return QString::number(packNumber) + QLatin1Char('_') + now.toString(QStringLiteral("yyyyMMddHHmmss"))
        + QStringLiteral(".csv");
}

AutoSaveResult AutoSaveLog(const RealtimeLogRows& log, const QStringList& folders, const QDateTime& now)
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
        const QString path = FreeFileName(QDir(folder), name);
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
