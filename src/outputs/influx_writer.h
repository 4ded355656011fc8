#pragma once

#include "store/pack_sample.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class QThread;
class InfluxSender;

// Where and how the writer sends.
struct InfluxSettings {
    // The server's write URL as the user gave it; a URL without a path gets
    // "/write" (VictoriaMetrics, InfluxDB 1.x).
    QUrl url;
    // The database (/write: db=) or, for InfluxDB 2.x (/api/v2/write), the
    // bucket; empty: as the URL says.
    QString database;
    // Sent as "Authorization: Token ..." when given (InfluxDB 2.x).
    QString token;
    QString spoolFolder;
    std::int64_t spoolBytes = 64LL * 1024 * 1024;
    // A request the server has not answered in this time is given up and
    // its lines spooled.
    std::chrono::milliseconds timeout{20000};
};

// The write URL of the settings, or nothing with a message for a URL that is
// not http(s)://HOST[:PORT][/PATH].
std::optional<QUrl> InfluxWriteUrl(const InfluxSettings& settings, QString& error);
// The default spool folder: "influx-spool" in the user's data folder.
QString DefaultInfluxSpoolFolder();

// Writes every pack's turn as line protocol to an InfluxDB or VictoriaMetrics
// server. PackSampled only formats the lines, stamped with the time the
// readings arrived, into a bounded queue; a thread of the writer's own sends
// them, batched, at most one request a second, so the polling cycle never
// waits on the network. A line counts as sent only when a 2xx answered the
// request that carried it. What the server does not take (no answer, a
// time-out, 5xx, 429, a redirect, which is never followed) goes to the spool
// on disk and is sent again, oldest batch first, each batch a request of its
// own, after a growing pause. A resend carries the lines as they were
// stamped, so a server that stored them already overwrites (InfluxDB) or
// deduplicates (VictoriaMetrics with -dedup.minScrapeInterval=1ms) them. A
// 400 is narrowed down by halves until only the lines the server refuses
// are left; those, and lines of any other 4xx, are counted as rejected and
// not sent again.
class InfluxWriter final : public IPackSampleSink {
public:
    // What happened, for the front end to word. Each kind is reported when
    // it starts, not on every batch.
    struct Event {
        enum class Kind {
            Unreachable,     // no answer, time-out, 3xx, 5xx or 429: lines go to the spool
            Back,            // the server answers again
            Rejected,        // 4xx: those lines are dropped
            SpoolFull,       // lines did not fit in the spool and were dropped
            SpoolFailed,     // the disk refused the spool: lines dropped
            QueueFull,       // the writer's thread fell behind: lines dropped
            SpoolCut,        // a spool file ended inside a line: that line is dropped
            RemoveFailed,    // a sent batch's file could not be removed: a later run sends it again
        };
        Kind kind;
        int httpStatus = 0;  // 0 when the server gave none
        QString detail;      // the network error, the server's answer or the file error
    };

    // Lines, each a reading.
    struct Counts {
        std::int64_t sent = 0;       // taken by the server
        std::int64_t spooled = 0;    // on disk now, waiting
        std::int64_t dropped = 0;    // lost: did not fit in the spool or queue, the disk refused, cut in the spool
        std::int64_t rejected = 0;   // refused by the server (4xx)
        std::int64_t waiting = 0;    // queued or in memory, not yet sent or spooled
    };

    explicit InfluxWriter(InfluxSettings settings);
    ~InfluxWriter() override;

    // Opens the spool and starts the thread; false with a message naming
    // the folder when the spool cannot be used (the writer is then off).
    bool Start(QString& error);
    // Called on the polling thread: formats and queues, never waits.
    void PackSampled(const RPackSample& sample) override;
    // Sends what it can within the time given, spools the rest, and stops
    // the thread. Any thread but the writer's.
    void Finish(std::chrono::milliseconds within);

    Counts counts() const;
    std::vector<Event> TakeEvents();
    QString Server() const { return m_url.toDisplayString(QUrl::RemoveUserInfo | QUrl::RemoveQuery); }
    QString SpoolFolder() const { return m_settings.spoolFolder; }

    // Limits, public for the tests.
    static constexpr std::int64_t kMaxQueueBytes = 16LL * 1024 * 1024;
    static constexpr std::int64_t kMaxRequestBytes = 4LL * 1024 * 1024;
    // The pause before a request after one that failed, doubled after each
    // failure up to the longest.
    static constexpr std::chrono::milliseconds kFirstRetry{1000};
    static constexpr std::chrono::milliseconds kLongestRetry{8000};

private:
    friend class InfluxSender;
    InfluxSettings m_settings;
    QUrl m_url;
    QThread* m_thread = nullptr;
    InfluxSender* m_sender = nullptr;   // lives on m_thread

    mutable std::mutex m_lock;
    // Guarded by m_lock.
    std::vector<QByteArray> m_queue;
    std::int64_t m_queueBytes = 0;
    std::int64_t m_queueLines = 0;
    bool m_queueFullReported = false;
    Counts m_counts;
    std::vector<Event> m_events;
    // Set by Finish: the writer's thread sends for at most this long, then ends.
    std::optional<std::chrono::milliseconds> m_finishWithin;
};
