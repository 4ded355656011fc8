#include "outputs/influx_writer.h"

#include "outputs/influx_lines.h"
#include "outputs/spool.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <QUrlQuery>

#include <deque>

namespace {

// Lines held in memory while a request is under way, before they go to the
// spool.
constexpr std::int64_t kMaxMemoryBytes = 2LL * 1024 * 1024;
constexpr std::chrono::milliseconds kBatchInterval{1000};
// How often the writer's thread looks at its queue and at a finish asked
// for; a request still goes at most once per kBatchInterval.
constexpr std::chrono::milliseconds kLookInterval{100};

bool IsRetried(int status)
{
    return status == 0 || status == 429 || status >= 500;
}

} // namespace

std::optional<QUrl> InfluxWriteUrl(const InfluxSettings& settings, QString& error)
{
    QUrl url = settings.url;
    if (!url.isValid() || (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))
        || url.host().isEmpty() || url.hasFragment()) {
        error = QStringLiteral("--influx takes http://HOST:PORT or https://HOST:PORT with an optional write path, "
                               "not %1")
                    .arg(settings.url.toString().left(60));
        return std::nullopt;
    }
    if (url.path().isEmpty() || url.path() == QLatin1String("/"))
        url.setPath(QStringLiteral("/write"));
    if (!settings.database.isEmpty()) {
        QUrlQuery query(url);
        const QString key = url.path().endsWith(QLatin1String("/api/v2/write")) ? QStringLiteral("bucket")
                                                                                : QStringLiteral("db");
        query.removeAllQueryItems(key);
        query.addQueryItem(key, settings.database);
        url.setQuery(query);
    }
    return url;
}

QString DefaultInfluxSpoolFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
        .filePath(QStringLiteral("influx-spool"));
}

// The writer's thread: takes the queue once a second, sends, spools.
// Lines are sent in the order they came: the spool holds the oldest, the
// memory list the newest; a request carries the spool's head, or the
// memory's while the spool is empty. New lines wait in memory also while a
// full spool drains, and go to the spool while the server fails.
class InfluxSender final : public QObject {
public:
    InfluxSender(InfluxWriter& writer, std::unique_ptr<InfluxSpool> spool)
        : m_writer(writer), m_spool(std::move(spool))
    {
    }

    void Start()
    {
        m_network = new QNetworkAccessManager(this);
        m_timer = new QTimer(this);
        connect(m_timer, &QTimer::timeout, this, &InfluxSender::Tick);
        m_timer->start(kLookInterval);
        m_sinceRequest.start();
        Tick();
    }

    // Sends on until all is sent or the time is up, then ends the thread.
    void Finish(std::chrono::milliseconds within)
    {
        m_finishing = true;
        m_deadline.setRemainingTime(within);
        m_timer->setInterval(50);
        Tick();
    }

private:
    struct Held {
        QByteArray lines;
        std::int64_t lineCount = 0;
    };

    void Tick()
    {
        if (!m_finishing) {
            std::optional<std::chrono::milliseconds> within;
            {
                const std::lock_guard<std::mutex> lock(m_writer.m_lock);
                within = m_writer.m_finishWithin;
            }
            if (within) {
                Finish(*within);
                return;
            }
        }
        TakeQueue();
        if (m_finishing && (m_deadline.hasExpired() || (!m_reply && m_memory.empty() && m_spool->Empty()))) {
            End();
            return;
        }
        if (!m_reply && m_sinceRequest.hasExpired(kBatchInterval.count()))
            Send();
        UpdateCounts();
    }

    void TakeQueue()
    {
        std::vector<QByteArray> batches;
        std::int64_t lines = 0;
        {
            const std::lock_guard<std::mutex> lock(m_writer.m_lock);
            batches.swap(m_writer.m_queue);
            lines = m_writer.m_queueLines;
            m_writer.m_queueBytes = 0;
            m_writer.m_queueLines = 0;
        }
        if (batches.empty())
            return;
        Held held;
        for (const QByteArray& batch : batches)
            held.lines += batch;
        held.lineCount = lines;
        m_memoryBytes += held.lines.size();
        m_memory.push_back(std::move(held));
        if (m_memoryBytes > kMaxMemoryBytes || m_failing)
            MemoryToSpool();
    }

    void ToSpool(const Held& held)
    {
        QString error;
        switch (m_spool->Append(held.lines, int(held.lineCount), &error)) {
        case InfluxSpool::Stored::Yes: return;
        case InfluxSpool::Stored::Full:
            Drop(held.lineCount, InfluxWriter::Event::Kind::SpoolFull, m_spoolFullReported,
                 QStringLiteral("%1 bytes in %2").arg(m_spool->Bytes()).arg(m_spool->Folder()));
            return;
        case InfluxSpool::Stored::WriteFailed:
            Drop(held.lineCount, InfluxWriter::Event::Kind::SpoolFailed, m_spoolFailReported, error);
            return;
        }
    }

    void Drop(std::int64_t lines, InfluxWriter::Event::Kind kind, bool& reported, const QString& detail)
    {
        const std::lock_guard<std::mutex> lock(m_writer.m_lock);
        m_writer.m_counts.dropped += lines;
        if (!reported)
            m_writer.m_events.push_back({kind, 0, detail});
        reported = true;
    }

    // Everything in memory goes to the spool, after what it holds. A request
    // under way from memory (sent while the spool was empty) then carries
    // the spool's head.
    void MemoryToSpool()
    {
        const bool requestFromMemory = m_reply && !m_requestFromSpool;
        int stored = 0;
        int kept = 0;
        for (const Held& held : m_memory) {
            const int before = m_spool->Batches();
            ToSpool(held);
            if (m_spool->Batches() > before && kept < m_requestBatches)
                ++stored;
            ++kept;
        }
        m_memory.clear();
        m_memoryBytes = 0;
        if (requestFromMemory) {
            // Batches of the request that did not fit are counted dropped
            // already; what it carried of the spool is popped on success.
            m_requestFromSpool = true;
            m_requestBatches = stored;
        }
    }

    void Send()
    {
        QByteArray body;
        std::int64_t lines = 0;
        int batches = 0;
        if (!m_spool->Empty()) {
            InfluxSpool::Chunk chunk = m_spool->Oldest(InfluxWriter::kMaxRequestBytes);
            body = std::move(chunk.lines);
            lines = chunk.lineCount;
            batches = chunk.batches;
            m_requestFromSpool = true;
        } else {
            for (const Held& held : m_memory) {
                if (batches > 0 && body.size() + held.lines.size() > InfluxWriter::kMaxRequestBytes)
                    break;
                body += held.lines;
                lines += held.lineCount;
                ++batches;
            }
            m_requestFromSpool = false;
        }
        if (batches == 0)
            return;
        m_requestBatches = batches;
        m_requestLines = lines;
        QNetworkRequest request(m_writer.m_url);
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("text/plain; charset=utf-8"));
        if (!m_writer.m_settings.token.isEmpty())
            request.setRawHeader("Authorization", "Token " + m_writer.m_settings.token.toUtf8());
        request.setTransferTimeout(int(m_writer.m_settings.timeout.count()));
        m_sinceRequest.restart();
        m_reply = m_network->post(request, body);
        connect(m_reply, &QNetworkReply::finished, this, &InfluxSender::Answered);
    }

    void Answered()
    {
        QNetworkReply* reply = m_reply;
        m_reply = nullptr;
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const bool ok = reply->error() == QNetworkReply::NoError && status >= 200 && status < 300;
        if (ok || !IsRetried(status)) {
            RemoveSent();
            const std::lock_guard<std::mutex> lock(m_writer.m_lock);
            if (ok) {
                m_writer.m_counts.sent += m_requestLines;
                if (m_failing)
                    m_writer.m_events.push_back({InfluxWriter::Event::Kind::Back, status, {}});
                m_failing = false;
                m_lastRejected = 0;
            } else {
                m_writer.m_counts.rejected += m_requestLines;
                if (status != m_lastRejected)
                    m_writer.m_events.push_back({InfluxWriter::Event::Kind::Rejected, status, ServerText(*reply)});
                m_lastRejected = status;
            }
        } else {
            // The server may take them later: keep them, in order.
            if (!m_requestFromSpool)
                MemoryToSpool();
            const std::lock_guard<std::mutex> lock(m_writer.m_lock);
            // The transfer time-out ends a request as cancelled.
            const QString why = status != 0 ? ServerText(*reply)
                : reply->error() == QNetworkReply::OperationCanceledError
                ? QStringLiteral("no answer within %1 s").arg(m_writer.m_settings.timeout.count() / 1000)
                : reply->errorString();
            if (!m_failing)
                m_writer.m_events.push_back({InfluxWriter::Event::Kind::Unreachable, status, why});
            m_failing = true;
        }
        UpdateCounts();
        if (m_finishing)
            Tick();
    }

    static QString ServerText(QNetworkReply& reply)
    {
        QString text = QString::fromUtf8(reply.readAll().left(200)).simplified();
        if (text.size() > 60)
            text = text.left(57) + QStringLiteral("...");
        return text.isEmpty() ? reply.errorString() : text;
    }

    void RemoveSent()
    {
        if (m_requestFromSpool) {
            m_spool->Pop(m_requestBatches);
            return;
        }
        for (int i = 0; i < m_requestBatches && !m_memory.empty(); ++i) {
            m_memoryBytes -= m_memory.front().lines.size();
            m_memory.pop_front();
        }
    }

    void UpdateCounts()
    {
        std::int64_t memoryLines = 0;
        for (const Held& held : m_memory)
            memoryLines += held.lineCount;
        const std::lock_guard<std::mutex> lock(m_writer.m_lock);
        m_writer.m_counts.spooled = m_spool->Lines();
        m_writer.m_counts.waiting = memoryLines + m_writer.m_queueLines;
    }

    // What was not sent stays in the spool for the next run.
    void End()
    {
        m_timer->stop();
        if (m_reply) {
            QNetworkReply* reply = m_reply;
            m_reply = nullptr;
            reply->disconnect(this);
            reply->abort();
            reply->deleteLater();
        }
        MemoryToSpool();
        UpdateCounts();
        thread()->quit();
    }

    InfluxWriter& m_writer;
    std::unique_ptr<InfluxSpool> m_spool;
    QNetworkAccessManager* m_network = nullptr;
    QTimer* m_timer = nullptr;
    QElapsedTimer m_sinceRequest;
    std::deque<Held> m_memory;
    std::int64_t m_memoryBytes = 0;
    QNetworkReply* m_reply = nullptr;
    bool m_requestFromSpool = false;
    int m_requestBatches = 0;
    std::int64_t m_requestLines = 0;
    bool m_failing = false;
    int m_lastRejected = 0;
    bool m_spoolFullReported = false;
    bool m_spoolFailReported = false;
    bool m_finishing = false;
    QDeadlineTimer m_deadline;
};

InfluxWriter::InfluxWriter(InfluxSettings settings) : m_settings(std::move(settings))
{
    if (m_settings.spoolFolder.isEmpty())
        m_settings.spoolFolder = DefaultInfluxSpoolFolder();
}

InfluxWriter::~InfluxWriter()
{
    if (m_thread)
        Finish(std::chrono::milliseconds(0));
}

bool InfluxWriter::Start(QString& error)
{
    const std::optional<QUrl> url = InfluxWriteUrl(m_settings, error);
    if (!url)
        return false;
    m_url = *url;
    auto spool = std::make_unique<InfluxSpool>(m_settings.spoolFolder, m_settings.spoolBytes);
    if (!spool->Open(error))
        return false;
    m_counts.spooled = spool->Lines();
    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("influx"));
    m_sender = new InfluxSender(*this, std::move(spool));
    m_sender->moveToThread(m_thread);
    QObject::connect(m_thread, &QThread::started, m_sender, [sender = m_sender] { sender->Start(); });
    // Its network objects go on its own thread, as the thread ends.
    QObject::connect(m_thread, &QThread::finished, m_sender, &QObject::deleteLater);
    m_thread->start();
    return true;
}

void InfluxWriter::PackSampled(const RPackSample& sample)
{
    QByteArray lines = InfluxLines(sample);
    const int count = InfluxLineCount(lines);
    const std::lock_guard<std::mutex> lock(m_lock);
    if (m_queueBytes + lines.size() > kMaxQueueBytes) {
        m_counts.dropped += count;
        if (!m_queueFullReported)
            m_events.push_back({Event::Kind::QueueFull, 0, {}});
        m_queueFullReported = true;
        return;
    }
    m_queueBytes += lines.size();
    m_queueLines += count;
    m_counts.waiting += count;
    m_queue.push_back(std::move(lines));
}

void InfluxWriter::Finish(std::chrono::milliseconds within)
{
    if (!m_thread)
        return;
    // Told through the lock the queue uses, which the thread sanitizer sees,
    // rather than through an event posted to the writer's thread.
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        m_finishWithin = within;
    }
    m_thread->wait();
    m_sender = nullptr;
    delete m_thread;
    m_thread = nullptr;
}

InfluxWriter::Counts InfluxWriter::counts() const
{
    const std::lock_guard<std::mutex> lock(m_lock);
    return m_counts;
}

std::vector<InfluxWriter::Event> InfluxWriter::TakeEvents()
{
    const std::lock_guard<std::mutex> lock(m_lock);
    std::vector<Event> events;
    events.swap(m_events);
    return events;
}
