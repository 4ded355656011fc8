#pragma once

#include "outputs/csv_file.h"
#include "outputs/output_sink.h"

#include <QDate>
#include <QDateTime>

#include <functional>
#include <map>
#include <mutex>

class TDevInfo;

// The per-pack real-time logs of "poll --csv" and "listen --csv": one row
// per pack turn that brought an analog reading, written and flushed when
// the turn is handed on, so a killed run loses no row it reported. Files are
// named as the window names its saved logs, PACK_yyyyMMddHHmmss.csv; a pack
// gets a new file at local midnight, so a service that runs for months keeps
// files of one day each. A name that exists is never replaced: the next free
// one (PACK_..._2.csv) is taken.
class CsvSink final : public IOutputSink {
public:
    using Clock = std::function<QDateTime()>;

    // store: the texts and alarm summaries of the rows; read, never written.
    // clock: the local time (the rollover and the file names), the PC's by
    // default.
    CsvSink(const TDevInfo& store, const QString& folder, Clock clock = {});

    bool Start(QString& error) override;
    void PackSampled(const RPackSample& sample) override;
    std::vector<ROutputEvent> TakeEvents() override;
    void Finish(std::chrono::milliseconds within) override;
    QString Failure() const override;

private:
    struct Log {
        CsvFile file;
        QDate day;
        int rows = 0;
        bool failed = false;
    };
    void fail(const QString& where, const QString& why);   // with m_lock held
    bool open(std::uint8_t pack, Log& log, const QDateTime& now);

    const TDevInfo& m_store;
    QString m_folder;
    Clock m_clock;
    mutable std::mutex m_lock;
    std::map<std::uint8_t, Log> m_logs;     // guarded by m_lock
    std::vector<ROutputEvent> m_events;     // guarded by m_lock
    std::int64_t m_rows = 0;                // guarded by m_lock
    QString m_failure;                      // guarded by m_lock
    bool m_finished = false;                // guarded by m_lock
};
