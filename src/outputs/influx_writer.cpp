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

#include <algorithm>
#include <deque>
#include <utility>

namespace {

// Lines held in memory while a request is under way, before they go to the
// spool.
constexpr std::int64_t kMaxMemoryBytes = 2LL * 1024 * 1024;
// New lines are sent at most this often, and written to the spool at most
// this often while the server is away.
constexpr std::chrono::milliseconds kBatchInterval{1000};
// How often the writer's thread looks at its queue and at a finish asked
// for.
constexpr std::chrono::milliseconds kLookInterval{100};
// A 400 is narrowed down with at most this many requests per batch: enough
// to find a few bad lines among thousands (each costs about two requests
// per halving), few enough that a server refusing everything is not asked
// line by line. What is left of the batch then counts as refused.
constexpr int kMaxNarrowingRequests = 64;

// What an answer means for the lines it answered.
enum class Verdict {
    Taken,     // 2xx
    Narrow,    // 400: some line of them is refused; halve and send again
    Refused,   // another 4xx: the server will never take them
    Retry,     // no answer, a time-out, 3xx, 408, 429, 5xx: keep them
};

Verdict Judge(int status)
{
    if (status >= 200 && status < 300)
        return Verdict::Taken;
    if (status == 400)
        return Verdict::Narrow;
    if (status >= 400 && status < 500 && status != 408 && status != 429)
        return Verdict::Refused;
    return Verdict::Retry;
}

QString Quoted(QString text)
{
    text = text.simplified();
    return text.size() > 60 ? text.left(57) + QStringLiteral("...") : text;
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

// The writer's thread: takes the queue every tick, sends, spools. A request
// carries one batch: the spool's oldest file, or, while the spool is empty,
// what waited in memory for up to a second. What a request carried is
// forgotten only once a 2xx (or a refusal) answered it. While the server
// fails, new lines go to the spool, one file a second, and a request is
// tried again only after a pause that grows with each failure.
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
        m_sinceSpooled.start();
        Tick();
    }

    // Sends on until all is sent, the server fails or the time is up, then
    // ends the thread.
    void Finish(std::chrono::milliseconds within)
    {
        m_finishing = true;
        m_deadline.setRemainingTime(within);
        m_timer->setInterval(50);
        Tick();
    }

private:
    struct Piece {
        QByteArray lines;
        std::int64_t lineCount = 0;
    };
    // The batch being sent: what is left of it, in pieces (a 400 halves the
    // first), and how many of its lines were answered already.
    struct Batch {
        bool fromSpool = false;
        std::deque<Piece> pieces;
        std::int64_t answered = 0;
        int requests = 0;

        Piece Rest() const
        {
            Piece rest;
            for (const Piece& piece : pieces) {
                rest.lines += piece.lines;
                rest.lineCount += piece.lineCount;
            }
            return rest;
        }
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
        if (m_memoryBytes > kMaxMemoryBytes || (m_failing && m_sinceSpooled.hasExpired(kBatchInterval.count())))
            MemoryToSpool();
        const bool nothingLeft = !m_batch && m_memory.empty() && m_spool->Empty();
        if (m_finishing && (m_deadline.hasExpired() || (!m_reply && (m_failing || nothingLeft)))) {
            End();
            return;
        }
        const bool memoryDue = !m_memory.empty() && (m_finishing || m_sinceRequest.hasExpired(kBatchInterval.count()));
        if (!m_reply && m_retry.hasExpired() && (m_batch || !m_spool->Empty() || memoryDue))
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
        Piece piece;
        for (const QByteArray& batch : batches)
            piece.lines += batch;
        piece.lineCount = lines;
        m_memoryBytes += piece.lines.size();
        m_memory.push_back(std::move(piece));
    }

    void ToSpool(const Piece& piece)
    {
        QString error;
        switch (m_spool->Append(piece.lines, piece.lineCount, &error)) {
        case InfluxSpool::Stored::Yes: return;
        case InfluxSpool::Stored::Full:
            Drop(piece.lineCount, InfluxWriter::Event::Kind::SpoolFull, &m_spoolFullReported,
                 QStringLiteral("%1 bytes in %2").arg(m_spool->Bytes()).arg(QDir::toNativeSeparators(m_spool->Folder())));
            return;
        case InfluxSpool::Stored::WriteFailed:
            Drop(piece.lineCount, InfluxWriter::Event::Kind::SpoolFailed, &m_spoolFailReported, error);
            return;
        }
    }

    // Counts lines as lost; the event once per kind when reported is given.
    void Drop(std::int64_t lines, InfluxWriter::Event::Kind kind, bool* reported, const QString& detail)
    {
        const std::lock_guard<std::mutex> lock(m_writer.m_lock);
        m_writer.m_counts.dropped += lines;
        if (!reported || !*reported)
            m_writer.m_events.push_back({kind, 0, detail});
        if (reported)
            *reported = true;
    }

    void Report(InfluxWriter::Event::Kind kind, int status, const QString& detail)
    {
        const std::lock_guard<std::mutex> lock(m_writer.m_lock);
        m_writer.m_events.push_back({kind, status, detail});
    }

    // What waits in memory goes to the spool as files of at most a
    // request's size.
    void MemoryToSpool()
    {
        m_sinceSpooled.restart();
        Piece file;
        for (Piece& piece : m_memory) {
            if (file.lineCount > 0 && file.lines.size() + piece.lines.size() > InfluxWriter::kMaxRequestBytes) {
                ToSpool(file);
                file = {};
            }
            file.lines += piece.lines;
            file.lineCount += piece.lineCount;
        }
        if (file.lineCount > 0)
            ToSpool(file);
        m_memory.clear();
        m_memoryBytes = 0;
    }

    // The next batch: the spool's oldest, else what waits in memory.
    bool TakeBatch()
    {
        while (std::optional<InfluxSpool::Batch> oldest = m_spool->Oldest()) {
            if (oldest->cutLines > 0) {
                Drop(oldest->cutLines, InfluxWriter::Event::Kind::SpoolCut, nullptr,
                     QStringLiteral("the spool file %1 ends inside a line").arg(oldest->file));
                // Kept without it, so that it is counted once.
                m_spool->ReplaceOldest(oldest->lines, oldest->lineCount);
            }
            if (oldest->lineCount == 0) {
                RemoveOldest();
                continue;
            }
            m_batch = Batch{true, {{std::move(oldest->lines), oldest->lineCount}}, 0};
            return true;
        }
        if (m_memory.empty())
            return false;
        Piece joined;
        while (!m_memory.empty()
               && (joined.lineCount == 0
                   || joined.lines.size() + m_memory.front().lines.size() <= InfluxWriter::kMaxRequestBytes)) {
            joined.lines += m_memory.front().lines;
            joined.lineCount += m_memory.front().lineCount;
            m_memoryBytes -= m_memory.front().lines.size();
            m_memory.pop_front();
        }
        m_batch = Batch{false, {std::move(joined)}, 0};
        return true;
    }

    void Send()
    {
        if (!m_batch && !TakeBatch())
            return;
        if (!m_batch->fromSpool)
            m_sinceRequest.restart();
        QNetworkRequest request(m_writer.m_url);
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("text/plain; charset=utf-8"));
        // A redirect is never followed: the lines (and the token) go only
        // where the user said.
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        if (!m_writer.m_settings.token.isEmpty())
            request.setRawHeader("Authorization", "Token " + m_writer.m_settings.token.toUtf8());
        request.setTransferTimeout(int(m_writer.m_settings.timeout.count()));
        ++m_batch->requests;
        m_reply = m_network->post(request, m_batch->pieces.front().lines);
        connect(m_reply, &QNetworkReply::finished, this, &InfluxSender::Answered);
    }

    void Answered()
    {
        QNetworkReply* reply = std::exchange(m_reply, nullptr);
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const Verdict verdict = Judge(status);
        const std::int64_t lines = m_batch->pieces.front().lineCount;
        if (verdict == Verdict::Retry) {
            Failed(*reply, status);
        } else {
            if (m_failing)
                Report(InfluxWriter::Event::Kind::Back, status, {});
            m_failing = false;
            m_backoff = InfluxWriter::kFirstRetry;
            if (verdict == Verdict::Narrow && lines > 1 && m_batch->requests < kMaxNarrowingRequests) {
                Halve();
            } else {
                {
                    const std::lock_guard<std::mutex> lock(m_writer.m_lock);
                    if (verdict == Verdict::Taken) {
                        m_writer.m_counts.sent += lines;
                        m_lastRejected = 0;
                    } else {
                        m_writer.m_counts.rejected += lines;
                        if (status != m_lastRejected)
                            m_writer.m_events.push_back(
                                {InfluxWriter::Event::Kind::Rejected, status, ServerText(*reply)});
                        m_lastRejected = status;
                    }
                }
                PieceDone();
            }
            // A batch in pieces and the spool's backlog go on at once.
            if (m_batch || !m_spool->Empty())
                Send();
        }
        UpdateCounts();
        if (m_finishing)
            Tick();
    }

    // The first piece in two halves, the first half sent next.
    void Halve()
    {
        const Piece piece = std::move(m_batch->pieces.front());
        m_batch->pieces.pop_front();
        const std::int64_t first = piece.lineCount / 2;
        qsizetype at = 0;
        for (std::int64_t k = 0; k < first; ++k)
            at = piece.lines.indexOf('\n', at) + 1;
        m_batch->pieces.push_front({piece.lines.sliced(at), piece.lineCount - first});
        m_batch->pieces.push_front({piece.lines.first(at), first});
    }

    void PieceDone()
    {
        m_batch->answered += m_batch->pieces.front().lineCount;
        m_batch->pieces.pop_front();
        if (!m_batch->pieces.empty())
            return;
        if (m_batch->fromSpool)
            RemoveOldest();
        m_batch.reset();
    }

    void RemoveOldest()
    {
        QString error;
        if (!m_spool->Pop(&error))
            Report(InfluxWriter::Event::Kind::RemoveFailed, 0, error);
    }

    // The server did not take the lines: they are kept, and the next request
    // waits.
    void Failed(QNetworkReply& reply, int status)
    {
        QString why;
        if (status >= 300 && status < 400) {
            why = QStringLiteral("redirected to %1, which is not followed: give the URL it names")
                      .arg(Quoted(QString::fromUtf8(reply.rawHeader("Location"))));
        } else if (status != 0) {
            why = ServerText(reply);
        } else if (reply.error() == QNetworkReply::OperationCanceledError) {
            // The transfer time-out ends a request as cancelled.
            why = QStringLiteral("no answer within %1 s").arg(double(m_writer.m_settings.timeout.count()) / 1000);
        } else {
            why = reply.errorString();
        }
        if (!m_failing)
            Report(InfluxWriter::Event::Kind::Unreachable, status, why);
        m_failing = true;
        m_retry.setRemainingTime(m_backoff);
        m_backoff = std::min(m_backoff * 2, InfluxWriter::kLongestRetry);
        if (!m_batch->fromSpool) {
            // Back in front of what came since; the spool takes it with them.
            m_memory.push_front(m_batch->Rest());
            m_memoryBytes += m_memory.front().lines.size();
            m_batch.reset();
        }
    }

    static QString ServerText(QNetworkReply& reply)
    {
        const QString text = Quoted(QString::fromUtf8(reply.readAll().left(200)));
        return text.isEmpty() ? reply.errorString() : text;
    }

    void UpdateCounts()
    {
        std::int64_t memoryLines = 0;
        for (const Piece& piece : m_memory)
            memoryLines += piece.lineCount;
        std::int64_t spooled = m_spool->Lines();
        if (m_batch && m_batch->fromSpool)
            spooled -= m_batch->answered;   // its file goes once the rest is answered
        else if (m_batch)
            memoryLines += m_batch->Rest().lineCount;
        const std::lock_guard<std::mutex> lock(m_writer.m_lock);
        m_writer.m_counts.spooled = spooled;
        m_writer.m_counts.waiting = memoryLines + m_writer.m_queueLines;
    }

    // What was not sent stays in the spool for the next run.
    void End()
    {
        m_timer->stop();
        if (m_reply) {
            QNetworkReply* reply = std::exchange(m_reply, nullptr);
            reply->disconnect(this);
            reply->abort();
            reply->deleteLater();
        }
        TakeQueue();
        if (m_batch && !m_batch->fromSpool) {
            m_memory.push_front(m_batch->Rest());
        } else if (m_batch && m_batch->answered > 0) {
            // Only the lines not answered yet stay for the next run.
            const Piece rest = m_batch->Rest();
            if (QString error; !m_spool->ReplaceOldest(rest.lines, rest.lineCount, &error))
                Report(InfluxWriter::Event::Kind::RemoveFailed, 0, error);
        }
        m_batch.reset();
        MemoryToSpool();
        UpdateCounts();
        thread()->quit();
    }

    InfluxWriter& m_writer;
    std::unique_ptr<InfluxSpool> m_spool;
    QNetworkAccessManager* m_network = nullptr;
    QTimer* m_timer = nullptr;
    QElapsedTimer m_sinceRequest;
    QElapsedTimer m_sinceSpooled;
    std::deque<Piece> m_memory;
    std::int64_t m_memoryBytes = 0;
    std::optional<Batch> m_batch;
    QNetworkReply* m_reply = nullptr;
    bool m_failing = false;
    // No request before this; it grows from the first to the longest pause
    // while the server fails.
    QDeadlineTimer m_retry;
    std::chrono::milliseconds m_backoff = InfluxWriter::kFirstRetry;
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
