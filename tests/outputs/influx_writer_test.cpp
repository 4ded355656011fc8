// The line-protocol writer against a recording HTTP server on loopback that
// answers each request as the case scripts it: what counts as sent is what
// the server acknowledged, redirects are not followed, a 400 costs only the
// line it refuses, and resends keep the lines' own time stamps.

#include "outputs/influx_writer.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <set>
#include <thread>

namespace {

// How the server answers one request: a status (0: never), after a pause.
struct Answer {
    int status = 204;
    QByteArray headers = {};
    int afterMs = 0;
};

// An HTTP server on a thread of its own: records every request's body and
// head, answers as the script says, one request per connection.
class RecordingServer {
public:
    using Script = std::function<Answer(const QByteArray& body)>;

    explicit RecordingServer(Script script) : m_script(std::move(script))
    {
        std::atomic<int> port{-1};
        m_thread = std::thread([this, &port] { Serve(port); });
        while (port < 0)
            QThread::msleep(5);
        m_port = port;
    }
    ~RecordingServer()
    {
        m_stop = true;
        m_thread.join();
    }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }

    struct Request {
        QByteArray head;
        QByteArray body;
        bool acknowledged = false;   // answered 2xx on time
    };
    std::vector<Request> requests() const
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        return m_requests;
    }

private:
    struct Client {
        std::unique_ptr<QTcpSocket> socket;
        QDeadlineTimer answerAt{QDeadlineTimer::Forever};
        QByteArray answer;
        std::size_t request = 0;
    };

    void Serve(std::atomic<int>& port)
    {
        QTcpServer server;
        port = server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
        std::vector<Client> clients;
        while (!m_stop) {
            if (server.waitForNewConnection(10))
                clients.emplace_back().socket.reset(server.nextPendingConnection());
            for (Client& client : clients) {
                client.socket->waitForReadyRead(2);
                if (client.answer.isEmpty() && !Read(client))
                    continue;
                if (!client.answerAt.hasExpired() || client.socket->state() != QAbstractSocket::ConnectedState)
                    continue;
                client.socket->write(client.answer);
                client.socket->waitForBytesWritten(1000);
                client.socket->disconnectFromHost();
                client.answerAt = QDeadlineTimer(QDeadlineTimer::Forever);
                const std::lock_guard<std::mutex> lock(m_lock);
                m_requests[client.request].acknowledged = client.answer.startsWith("HTTP/1.1 2");
            }
        }
    }

    // Takes a whole request once it is in; false while it is not.
    bool Read(Client& client)
    {
        const QByteArray in = client.socket->peek(1 << 24);
        const qsizetype head = in.indexOf("\r\n\r\n");
        const qsizetype at = in.toLower().indexOf("content-length:");
        if (head < 0 || at < 0)
            return false;
        const qsizetype length = in.mid(at + 15, 12).split('\r')[0].trimmed().toLongLong();
        if (in.size() < head + 4 + length)
            return false;
        client.socket->read(head + 4 + length);
        const QByteArray body = in.mid(head + 4, length);
        const Answer answer = m_script(body);
        const std::lock_guard<std::mutex> lock(m_lock);
        client.request = m_requests.size();
        m_requests.push_back({in.left(head), body, false});
        if (answer.status == 0)
            return false;   // never answered: the request is recorded, nothing more
        client.answer = "HTTP/1.1 " + QByteArray::number(answer.status) + " Scripted\r\n" + answer.headers
            + "Content-Length: 17\r\nConnection: close\r\n\r\n{\"error\":\"no\"}\n\n\n";
        client.answerAt = QDeadlineTimer(answer.afterMs);
        return true;
    }

    Script m_script;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    mutable std::mutex m_lock;
    std::vector<Request> m_requests;
};

QByteArray Line(int pack, int k)
{
    return "bms,pack=" + QByteArray::number(pack) + " pack_up=1 " + QByteArray::number(1765171200000 + k) + "000000\n";
}

// What an earlier run left: two batches of six lines, the second with one
// line the server cannot parse.
QSet<QByteArray> FillSpool(const QString& folder)
{
    QDir().mkpath(folder);
    QSet<QByteArray> lines;
    for (int batch = 1; batch <= 2; ++batch) {
        QByteArray text;
        for (int k = 0; k < 6; ++k) {
            const QByteArray line = batch == 2 && k == 3 ? QByteArray("bms,pack=9 pack_up=bad\n") : Line(batch, k);
            text += line;
            lines.insert(line);
        }
        QFile file(QDir(folder).filePath(QStringLiteral("%1.lp").arg(batch, 16, 10, QLatin1Char('0'))));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
    }
    return lines;
}

TEST(InfluxWriter, CountsOnlyWhatTheServerAcknowledged)
{
    RecordingServer elsewhere([](const QByteArray&) { return Answer{}; });
    const QByteArray location = "Location: " + elsewhere.url().toUtf8() + "/write\r\n";
    const struct {
        const char* name;
        Answer answer;        // to every request; a 400 only to a request with the bad line
        std::int64_t sent;    // of the 12 lines
        std::int64_t rejected;
        const char* message;  // of the first event
    } cases[] = {
        {"accepts", {204}, 12, 0, ""},
        {"302", {302, location}, 0, 0, "redirected to http://127.0.0.1"},
        {"307", {307, location}, 0, 0, "redirected to http://127.0.0.1"},
        {"308", {308, location}, 0, 0, "which is not followed"},
        {"one bad line", {400}, 11, 1, "{\"error\":\"no\"}"},
        {"503", {503}, 0, 0, "{\"error\":\"no\"}"},
        {"429", {429}, 0, 0, "{\"error\":\"no\"}"},
        {"answers late", {204, {}, 700}, 0, 0, "no answer within 0.3 s"},
        {"never answers", {0}, 0, 0, "no answer within 0.3 s"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingServer server([&c](const QByteArray& body) {
            return c.answer.status == 400 && !body.contains("=bad") ? Answer{} : c.answer;
        });
        QTemporaryDir folder;
        const QSet<QByteArray> ours = FillSpool(folder.filePath(QStringLiteral("spool")));
        InfluxSettings settings;
        settings.url = QUrl(server.url());
        settings.token = QStringLiteral("secret");
        settings.spoolFolder = folder.filePath(QStringLiteral("spool"));
        settings.timeout = std::chrono::milliseconds(300);
        InfluxWriter writer(settings);
        QString error;
        ASSERT_TRUE(writer.Start(error)) << error.toStdString();
        QThread::msleep(2500);
        writer.Finish(std::chrono::milliseconds(3000));

        const InfluxWriter::Counts counts = writer.counts();
        EXPECT_EQ(counts.sent, c.sent);
        EXPECT_EQ(counts.rejected, c.rejected);
        EXPECT_EQ(counts.dropped, 0);
        EXPECT_EQ(counts.spooled, 12 - c.sent - c.rejected);
        std::int64_t acknowledged = 0;
        std::set<QByteArray> received;
        const std::vector<RecordingServer::Request> requests = server.requests();
        for (const RecordingServer::Request& request : requests) {
            EXPECT_TRUE(request.head.contains("Authorization: Token secret"));
            for (const QByteArray& line : request.body.split('\n'))
                if (!line.isEmpty()) {
                    EXPECT_TRUE(ours.contains(line + '\n')) << "a line not as it was stamped: " << line.toStdString();
                    received.insert(line);
                    acknowledged += request.acknowledged ? 1 : 0;
                }
        }
        EXPECT_EQ(acknowledged, c.sent);
        // A batch is a request of its own: while the server fails, only the
        // oldest is tried again.
        EXPECT_EQ(received.size(), c.sent + c.rejected == 12 ? 12u : 6u);
        // Failed requests are tried again after a growing pause, not every
        // tick: 1 s, then 2 s.
        if (c.sent + c.rejected == 0) {
            EXPECT_LE(requests.size(), 3u);
        }
        EXPECT_TRUE(elsewhere.requests().empty()) << "a redirect was followed";
        const std::vector<InfluxWriter::Event> events = writer.TakeEvents();
        if (*c.message) {
            ASSERT_FALSE(events.empty());
            EXPECT_TRUE(events.front().detail.contains(QString::fromUtf8(c.message))) << events.front().detail.toStdString();
        }
        // What was not taken is still on disk for the next run; what was, is not.
        EXPECT_EQ(QDir(settings.spoolFolder).entryList({QStringLiteral("*.lp")}).size(), c.sent + c.rejected == 12 ? 0 : 2);
    }
}

} // namespace
