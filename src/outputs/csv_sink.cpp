#include "outputs/csv_sink.h"

#include "store/devinfo.h"
#include "store/realtime_row.h"

#include <QDir>

#include <utility>

CsvSink::CsvSink(const TDevInfo& store, const QString& folder, Clock clock)
    : m_store(store), m_folder(folder), m_clock(std::move(clock))
{
    if (!m_clock)
        m_clock = [] { return QDateTime::currentDateTime(); };
}

bool CsvSink::Start(QString& error)
{
    if (QDir().mkpath(m_folder))
        return true;
    error = QStringLiteral("%1: the folder cannot be created").arg(QDir::toNativeSeparators(m_folder));
    return false;
}

void CsvSink::fail(const QString& where, const QString& why)
{
    m_failure = why;
    ROutputEvent event;
    event.output = ROutputEvent::Output::Csv;
    event.kind = ROutputEvent::Kind::FileFailed;
    event.where = where;
    event.detail = why;
    event.counts.sent = m_rows;
    m_events.push_back(std::move(event));
}

bool CsvSink::open(std::uint8_t pack, Log& log, const QDateTime& now)
{
    const QString name = QStringLiteral("%1_%2.csv").arg(pack).arg(now.toString(QStringLiteral("yyyyMMddHHmmss")));
    QString error;
    if (!log.file.createNew(m_folder, name, RealtimeLogHeaders(m_store.TextOper()), &error)) {
        log.failed = true;
        fail(QDir(m_folder).filePath(name), error);
        return false;
    }
    log.day = now.date();
    log.rows = 0;
    log.failed = false;
    return true;
}

void CsvSink::PackSampled(const RPackSample& sample)
{
    if (!sample.analog || !RealtimeReadingHoldsData(*sample.analog))
        return;
    const QDateTime now = m_clock();
    const std::lock_guard<std::mutex> lock(m_lock);
    if (m_finished)
        return;
    Log& log = m_logs[sample.pack];
    // A new day starts a new file; a file that could not be made is tried
    // again on the next day only, not at every reading.
    if (log.file.isOpen() && log.day != now.date())
        log.file.close();
    if (!log.file.isOpen()) {
        if (log.failed && log.day == now.date())
            return;
        if (!open(sample.pack, log, now)) {
            log.day = now.date();
            return;
        }
    }
    // The row pairs this turn's analog reading with this turn's alarm answer
    // (blank when the alarm read failed).
    ++log.rows;
    if (!log.file.append(RealtimeLogRow(log.rows, *sample.analog, sample.alarm.value_or(RAlarmData{}), m_store))) {
        fail(log.file.path(), QStringLiteral("%1: cannot write").arg(log.file.path()));
        log.file.close();
        log.failed = true;
        return;
    }
    ++m_rows;
}

std::vector<ROutputEvent> CsvSink::TakeEvents()
{
    const std::lock_guard<std::mutex> lock(m_lock);
    return std::exchange(m_events, {});
}

void CsvSink::Finish(std::chrono::milliseconds)
{
    const std::lock_guard<std::mutex> lock(m_lock);
    if (m_finished)
        return;
    m_finished = true;
    for (auto& [pack, log] : m_logs)
        log.file.close();
    ROutputEvent event;
    event.output = ROutputEvent::Output::Csv;
    event.kind = ROutputEvent::Kind::Finished;
    event.where = m_folder;
    event.counts.sent = m_rows;
    m_events.push_back(std::move(event));
}

QString CsvSink::Failure() const
{
    const std::lock_guard<std::mutex> lock(m_lock);
    return m_failure;
}
