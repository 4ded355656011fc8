// poll --influx into a real VictoriaMetrics (started on a free loopback
// port of the test's own, its storage in a temporary folder, deduplicating
// as the README tells) over the simulated bus: the exported series hold the
// CSV log's readings row for row, each once, also across a 20 s outage, and
// the README's queries answer; a full 1 MiB spool counts what it dropped; a
// spool file cut inside a line costs that line only; servers that fail
// otherwise leave the polling and the CSV logs alone.

#include "tool_process.h"
#include "support/http_get.h"

#include <QDir>
#include <QEventLoop>
#include <QLockFile>
#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QUrlQuery>

#include <gtest/gtest.h>

#include <map>
#include <thread>

namespace {

// A GET, or a POST of the form fields, on the test's thread.
QByteArray Http(const QString& url, const std::map<QString, QString>& form = {})
{
    QNetworkAccessManager network;
    QNetworkRequest request{QUrl(url)};
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
    QUrlQuery query;
    for (const auto& [name, value] : form)
        query.addQueryItem(name, QString::fromUtf8(QUrl::toPercentEncoding(value)));
    QNetworkReply* reply = form.empty() ? network.get(request) : network.post(request, query.query().toUtf8());
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    reply->deleteLater();
    return reply->readAll();
}

// victoria-metrics on 127.0.0.1:port with its data in a folder of its own;
// restartable on the same port and data. Queries see points just written.
class VictoriaMetrics {
public:
    bool start()
    {
        m_process.start(QStringLiteral("/usr/bin/victoria-metrics"),
                        {QStringLiteral("-storageDataPath"), m_folder.filePath(QStringLiteral("data")),
                         QStringLiteral("-httpListenAddr"), QStringLiteral("127.0.0.1:%1").arg(m_port),
                         QStringLiteral("-loggerLevel"), QStringLiteral("ERROR"), QStringLiteral("-search.latencyOffset"),
                         QStringLiteral("0s"), QStringLiteral("-search.disableCache"),
                         // A batch sent again (its answer lost) holds the same
                         // time stamps: one point each.
                         QStringLiteral("-dedup.minScrapeInterval"), QStringLiteral("1ms")});
        for (const QDeadlineTimer deadline(30000); !deadline.hasExpired() && m_process.isRunning();
             m_process.waitForOutput("\x01", 100))
            if (Http(url() + QStringLiteral("/health")) == "OK")
                return true;
        return false;
    }
    void stop() { m_process.terminate(20000); }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }

    // Every point of the writer's series.
    qint64 points() const
    {
        Http(url() + QStringLiteral("/internal/force_flush"));
        const QByteArray lines = Http(url() + QStringLiteral("/api/v1/export"),
                                      {{QStringLiteral("match[]"), QStringLiteral("{__name__=~\"bms_.*\"}")}});
        qint64 points = 0;
        for (const QByteArray& line : lines.split('\n'))
            points += QJsonDocument::fromJson(line).object()[QStringLiteral("values")].toArray().size();
        return points;
    }
    // Waits until the server shows as many points as it acknowledged: a point
    // it took is not always in the next query, even after a forced flush,
    // while the machine is busy (a background flush may hold it).
    bool shows(qint64 acknowledged) const
    {
        for (const QDeadlineTimer deadline(30000); !deadline.hasExpired(); QThread::msleep(200))
            if (points() == acknowledged)
                return true;
        return points() == acknowledged;
    }

    // The points of one pack by series ("cell_voltage_volts/5"), in time order.
    std::map<QString, std::vector<std::pair<qint64, double>>> pack(int pack) const
    {
        Http(url() + QStringLiteral("/internal/force_flush"));
        std::map<QString, std::vector<std::pair<qint64, double>>> series;
        const QByteArray lines = Http(url() + QStringLiteral("/api/v1/export"),
                                      {{QStringLiteral("match[]"), QStringLiteral("{pack=\"%1\"}").arg(pack)}});
        for (const QByteArray& line : lines.split('\n')) {
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            const QJsonObject metric = object[QStringLiteral("metric")].toObject();
            QString key = metric[QStringLiteral("__name__")].toString().mid(4);
            for (const char* label : {"cell", "sensor", "name"})
                if (metric.contains(QLatin1String(label)))
                    key += u'/' + metric[QLatin1String(label)].toString();
            for (qsizetype i = 0; i < object[QStringLiteral("values")].toArray().size(); ++i)
                series[key].emplace_back(object[QStringLiteral("timestamps")][i].toInteger(),
                                         object[QStringLiteral("values")][i].toDouble());
            std::sort(series[key].begin(), series[key].end());
        }
        return series;
    }

private:
    QTemporaryDir m_folder;
    int m_port = FreeLoopbackPort();
    ChildProcess m_process;
};

// Each pack's CSV log against what the server holds: every column that is
// a reading equals its series row for row, at the row's time.
void ExpectServerHoldsTheCsvLogs(const VictoriaMetrics& server, const QString& csvFolder, std::vector<int> packs)
{
    std::vector<std::tuple<int, QString, double>> columns = {   // column, series, log unit per series unit
        {3, QStringLiteral("pack_voltage_volts"), 1}, {4, QStringLiteral("pack_current_amperes"), 1},
        {5, QStringLiteral("soc_ratio"), 100},        {6, QStringLiteral("soh_ratio"), 100},
        {7, QStringLiteral("remaining_capacity_coulombs"), 1.0 / 3600},
        {8, QStringLiteral("full_capacity_coulombs"), 1.0 / 3600},
        {9, QStringLiteral("charge_cycles"), 1},      {10, QStringLiteral("humidity_ratio"), 100},
        {13, QStringLiteral("temperature_celsius/ambient"), 1},
        {14, QStringLiteral("temperature_celsius/fet"), 1}};
    for (int k = 1; k <= 4; ++k)
        columns.emplace_back(17 + k, QStringLiteral("temperature_celsius/cell%1").arg(k), 1);
    for (int k = 1; k <= 16; ++k)
        columns.emplace_back(21 + k, QStringLiteral("cell_voltage_volts/%1").arg(k), 1000);
    for (int pack : packs) {
        const QDir folder(csvFolder);
        QFile file(folder.filePath(folder.entryList({QStringLiteral("%1_*.csv").arg(pack)}).value(0)));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "pack " << pack;
        const QList<QByteArray> rows = file.readAll().trimmed().split('\n').mid(1);
        const auto series = server.pack(pack);
        ASSERT_TRUE(series.contains(QStringLiteral("pack_up")));
        EXPECT_EQ(series.at(QStringLiteral("pack_up")).size(), std::size_t(rows.size()));
        for (const auto& [column, name, unit] : columns) {
            SCOPED_TRACE(QStringLiteral("pack %1 %2").arg(pack).arg(name).toStdString());
            ASSERT_TRUE(series.contains(name));
            ASSERT_EQ(series.at(name).size(), std::size_t(rows.size()));
            for (qsizetype row = 0; row < rows.size(); ++row) {
                const QList<QByteArray> cells = rows[row].trimmed().split(',');
                const auto [ms, value] = series.at(name)[std::size_t(row)];
                const QDateTime time = QDateTime::fromString(QString::fromUtf8(cells[2]), "yyyy-MM-dd HH:mm:ss");
                // Stamped when the answer came, as the row.
                EXPECT_EQ(ms / 1000, time.toSecsSinceEpoch()) << "row " << row + 1;
                EXPECT_DOUBLE_EQ(value, cells[column].toDouble() / unit) << "row " << row + 1;
            }
        }
    }
}

// The run's last influx line: what became of its readings (an error line
// may follow it when the run failed).
QJsonObject Finished(const QString& out)
{
    const QStringList lines = out.trimmed().split(u'\n');
    QJsonObject last;
    for (auto line = lines.crbegin(); line != lines.crend() && last.isEmpty(); ++line) {
        const QJsonObject object = QJsonDocument::fromJson(line->toUtf8()).object();
        if (object[QStringLiteral("type")] == QStringLiteral("influx"))
            last = object;
    }
    EXPECT_EQ(last[QStringLiteral("event")], QStringLiteral("finished")) << out.toStdString();
    return last;
}

qint64 Count(const QJsonObject& finished, const char* name)
{
    return finished[QLatin1String(name)].toInteger(-1);
}

class ToolInflux : public ToolOnSimTest {
protected:
    QStringList influx(const QString& url, const char* csv = "csv") const
    {
        return {QStringLiteral("--csv"), file(csv), QStringLiteral("--influx"), url, QStringLiteral("--spool-dir"),
                file("spool")};
    }
};

// With pack 3 silent: the CSV rows of packs 1 and 2 are on the server, and
// each query of the README, as it shows it, answers with a series per pack
// (only pack 3 is down).
TEST_F(ToolInflux, ExportedSeriesEqualTheCsvLogAndTheDocumentedQueriesAnswer)
{
    start({QStringLiteral("--fault"), QStringLiteral("silent:3")});
    VictoriaMetrics server;
    ASSERT_TRUE(server.start());
    const ToolRun run = m_tool->json(Words({"poll", "--packs", "1-3", "--count", "3"}) + influx(server.url()));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonObject finished = Finished(run.out);
    EXPECT_EQ(Count(finished, "sent"), 2 * 3 * 98 + 3);   // 98 lines a turn of a sim pack, 1 of a silent one
    EXPECT_EQ(Count(finished, "spooled") + Count(finished, "dropped") + Count(finished, "rejected"), 0);
    ASSERT_TRUE(server.shows(Count(finished, "sent"))) << server.points() << " points";
    ExpectServerHoldsTheCsvLogs(server, file("csv"), {1, 2});

    // The example queries stand in the monitoring reference.
    QFile readme(QStringLiteral(BMS_SOURCE_DIR "/docs/monitoring.md"));
    ASSERT_TRUE(readme.open(QIODevice::ReadOnly));
    const QByteArray text = readme.readAll();
    const std::pair<const char*, int> queries[] = {
        {"max_over_time((max by (pack) (bms_cell_voltage_volts) - min by (pack) (bms_cell_voltage_volts))[7d:1m])", 2},
        {"max by (pack) (bms_temperature_celsius{sensor=~\"cell.*\"})", 2},
        {"bms_pack_up == 0", 1},
        {"sum by (pack) (max_over_time(bms_protection_active[1d]))", 2},
        {"deriv(bms_soh_ratio[30d]) * 365 * 86400", 2},
    };
    for (const auto& [query, series] : queries) {
        SCOPED_TRACE(query);
        EXPECT_TRUE(text.contains(query));
        // A minute on, as a dashboard sees it: the subquery's steps are
        // whole minutes, the run lasted seconds.
        const QByteArray answer = Http(server.url() + QStringLiteral("/api/v1/query"),
                                       {{QStringLiteral("query"), QString::fromUtf8(query)},
                                        {QStringLiteral("time"), QString::number(QDateTime::currentSecsSinceEpoch() + 60)}});
        const QJsonArray result = QJsonDocument::fromJson(answer).object()[QStringLiteral("data")][QStringLiteral("result")].toArray();
        EXPECT_EQ(result.size(), series) << answer.toStdString();
        if (series == 1) {
            EXPECT_EQ(result[0][QStringLiteral("metric")][QStringLiteral("pack")], QStringLiteral("3"));
        }
    }
}

// The server goes away for 20 s while the polling goes on: the readings of
// that time wait in the spool and reach it when it is back.
TEST_F(ToolInflux, ServerAwayFor20SecondsLosesNoReading)
{
    start();
    VictoriaMetrics server;
    ASSERT_TRUE(server.start());
    ChildProcess tool;
    ASSERT_TRUE(tool.start(QStringLiteral(BMS_TOOL_PROGRAM),
                           Words({"--json", "poll", "--packs", "1-4", "--interval", "500", "--port"})
                               + QStringList{m_tool->sim().linkPath()} + influx(server.url())));
    ASSERT_TRUE(tool.waitForOutput("\"type\":\"analog\"", 60000, 8));
    server.stop();
    ASSERT_TRUE(tool.waitForErrorOutput("polling goes on", 30000));
    tool.waitForOutput("\x01", 20000);
    ASSERT_TRUE(server.start());
    ASSERT_TRUE(tool.waitForOutput("\"event\":\"back\"", 60000));
    tool.signal(SIGINT);
    ASSERT_TRUE(tool.waitForFinished(60000));
    EXPECT_EQ(tool.exitCode(), 0) << tool.standardError().toStdString();
    const QJsonObject finished = Finished(QString::fromUtf8(tool.standardOutput()));
    EXPECT_GT(Count(finished, "sent"), 20 * 98);
    EXPECT_EQ(Count(finished, "spooled"), 0);
    EXPECT_EQ(Count(finished, "dropped"), 0);
    EXPECT_EQ(Count(finished, "rejected"), 0);
    // Every line acknowledged is one point, the last batch too.
    ASSERT_TRUE(server.shows(Count(finished, "sent"))) << server.points() << " points";
    ExpectServerHoldsTheCsvLogs(server, file("csv"), {1, 2, 3, 4});
}

// A 1 MiB spool and no server: the oldest readings are kept, the rest
// counted as dropped; the next run sends what was kept, and its own
// readings wait in memory while the full spool drains.
TEST_F(ToolInflux, FullSpoolCountsWhatItDroppedAndTheNextRunSendsTheRest)
{
    m_tool = std::make_unique<ToolOnSim>(QStringList{}, 16);
    ASSERT_TRUE(m_tool->isReady()) << m_tool->error().toStdString();
    VictoriaMetrics server;   // not started yet
    const QStringList poll = Words({"--json", "poll", "--packs", "1-16", "--spool-mb", "1", "--count"});
    const ToolRun away = m_tool->run(poll + QStringList{QStringLiteral("10")} + influx(server.url()));
    // Lines were dropped: the run says so in its exit code.
    ASSERT_EQ(away.exitCode, 1) << away.err.toStdString();
    EXPECT_TRUE(away.err.contains(QStringLiteral(" lines dropped, 0 refused by the server"))) << away.err.toStdString();
    EXPECT_TRUE(away.err.contains(QStringLiteral("the spool is full"))) << away.err.toStdString();
    const qint64 kept = Count(Finished(away.out), "spooled");
    EXPECT_EQ(Count(Finished(away.out), "sent"), 0);
    EXPECT_EQ(kept + Count(Finished(away.out), "dropped"), 10 * 16 * 98);
    EXPECT_GT(kept * 100, 1024 * 1024 / 2);   // lines of about 100 bytes fill half the spool at least

    ASSERT_TRUE(server.start());
    const ToolRun back = m_tool->run(poll + QStringList{QStringLiteral("1")} + influx(server.url(), "csv2"));
    ASSERT_EQ(back.exitCode, 0) << back.err.toStdString();
    EXPECT_EQ(Count(Finished(back.out), "sent"), kept + 16 * 98);
    EXPECT_EQ(Count(Finished(back.out), "spooled") + Count(Finished(back.out), "dropped"), 0);
    ASSERT_TRUE(server.shows(kept + 16 * 98));
    // The first turns were kept (and a last small batch that still fit):
    // pack 1 has them and the second run's turn, not all ten of the first.
    const std::size_t pack1 = server.pack(1).at(QStringLiteral("pack_up")).size();
    EXPECT_GE(pack1, std::size_t((kept / 98 + 15) / 16 + 1));
    EXPECT_LT(pack1, 10u + 1u);
}

// A spool file cut inside a line's time stamp (as a full disk or a hand
// leaves it): its whole lines reach the server, the cut one is dropped and
// counted (it would land at a wrong time, or spoil the next file's first
// line), and the run says so.
TEST_F(ToolInflux, SpoolFileCutInsideALineCostsThatLineOnly)
{
    start();
    VictoriaMetrics server;
    ASSERT_TRUE(server.start());
    const qint64 ms = QDateTime::currentMSecsSinceEpoch() - 60000;
    const auto line = [ms](int k) { return "bms,pack=7 pack_up=1 " + QByteArray::number(ms + k) + "000000\n"; };
    ASSERT_TRUE(QDir().mkpath(file("spool")));
    const std::pair<const char*, QByteArray> files[] = {
        {"0000000000000001.lp", line(1) + line(2) + line(3).left(30)},
        {"0000000000000002.lp", line(4)},
    };
    for (const auto& [name, text] : files) {
        QFile spooled(QDir(file("spool")).filePath(QLatin1String(name)));
        ASSERT_TRUE(spooled.open(QIODevice::WriteOnly) && spooled.write(text) == text.size());
    }
    const ToolRun run = m_tool->json(Words({"poll", "--packs", "1", "--count", "1"}) + influx(server.url()));
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("0000000000000001.lp ends inside a line; that line is dropped")))
        << run.err.toStdString();
    const QJsonObject finished = Finished(run.out);
    EXPECT_EQ(Count(finished, "sent"), 3 + 98);
    EXPECT_EQ(Count(finished, "dropped"), 1);
    EXPECT_EQ(Count(finished, "spooled") + Count(finished, "rejected"), 0);
    ASSERT_TRUE(server.shows(3 + 98)) << server.points() << " points";
    const std::vector<std::pair<qint64, double>> expected = {{ms + 1, 1}, {ms + 2, 1}, {ms + 4, 1}};
    EXPECT_EQ(server.pack(7)[QStringLiteral("pack_up")], expected);
    EXPECT_TRUE(QDir(file("spool")).entryList({QStringLiteral("*.lp")}).isEmpty());
}

// A spool folder another program holds turns the line protocol off: the
// polling and the CSV logs go on, and the run ends with 1 and the reason.
TEST_F(ToolInflux, SpoolInUseTurnsTheLineProtocolOffAndPollingGoesOn)
{
    start();
    ASSERT_TRUE(QDir().mkpath(file("spool")));
    QLockFile other(QDir(file("spool")).filePath(QStringLiteral("spool.lock")));
    ASSERT_TRUE(other.tryLock(0));
    const ToolRun run = m_tool->json(Words({"poll", "--packs", "1-2", "--count", "2"})
                                     + influx(QStringLiteral("http://127.0.0.1:%1").arg(FreeLoopbackPort())));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("%1 is in use by another program; the line protocol is off, polling goes on").arg(file("spool"))))
        << run.err.toStdString();
    EXPECT_EQ(run.out.count(QStringLiteral("\"type\":\"analog\"")), 4);
    EXPECT_EQ(QDir(file("csv")).entryList({QStringLiteral("*.csv")}).size(), 2);
}

// A tiny HTTP server on a thread of its own that answers every request with
// one status once the request is in, or never answers (status 0).
class HttpStub {
public:
    explicit HttpStub(int status)
    {
        std::atomic<int> port{-1};
        m_thread = std::thread([this, status, &port] {
            QTcpServer server;
            port = server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
            std::vector<std::unique_ptr<QTcpSocket>> clients;
            while (!m_stop) {
                if (server.waitForNewConnection(20))
                    clients.emplace_back(server.nextPendingConnection());
                for (auto& client : clients) {
                    // Answered once the request's head and body are in.
                    if (!client->waitForReadyRead(5) || status == 0)
                        continue;
                    QByteArray request = client->peek(1 << 20);
                    const qsizetype head = request.indexOf("\r\n\r\n");
                    const qsizetype at = request.toLower().indexOf("content-length:");
                    if (head < 0 || at < 0 || request.size() < head + 4 + request.mid(at + 15, 12).split('\r')[0].trimmed().toLongLong())
                        continue;
                    client->readAll();
                    client->write("HTTP/1.1 " + QByteArray::number(status)
                                  + " Test\r\nContent-Length: 24\r\nConnection: close\r\n\r\n{\"error\":\"test says no\"}");
                    client->waitForBytesWritten(1000);
                    client->disconnectFromHost();
                }
            }
        });
        while (port < 0)
            QThread::msleep(5);
        m_port = port;
    }
    ~HttpStub()
    {
        m_stop = true;
        m_thread.join();
    }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }

private:
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

TEST_F(ToolInflux, FailingServersGiveAMessageAndThePollingGoesOn)
{
    start();
    const struct {
        int status;            // -1: nothing listens, 0: never answers
        const char* message;   // on standard error
        bool kept;             // spooled for later, or else refused and dropped
    } cases[] = {
        {-1, "polling goes on, readings wait in the spool", true},
        {503, "answered 503", true},
        {403, "refused the lines: answered 403", false},
        {0, "polling goes on, readings wait in the spool", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        std::unique_ptr<HttpStub> server = c.status >= 0 ? std::make_unique<HttpStub>(c.status) : nullptr;
        const QString url = server ? server->url() : QStringLiteral("http://127.0.0.1:%1").arg(FreeLoopbackPort());
        QDir(file("csv")).removeRecursively();
        QDir(file("spool")).removeRecursively();
        const ToolRun run = m_tool->json(Words({"poll", "--packs", "1-2", "--count", "4", "--influx-timeout", "2"})
                                         + influx(url));
        // Refused lines are lost: the run ends with 1; kept ones wait.
        EXPECT_EQ(run.exitCode, c.kept ? 0 : 1) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QString::fromUtf8(c.message))) << run.err.toStdString();
        const QJsonObject finished = Finished(run.out);
        EXPECT_EQ(Count(finished, "sent"), 0);
        EXPECT_EQ(Count(finished, c.kept ? "spooled" : "rejected"), 8 * 98);
        for (const QString& log : QDir(file("csv")).entryList({QStringLiteral("*.csv")})) {
            QFile rows(QDir(file("csv")).filePath(log));
            EXPECT_TRUE(rows.open(QIODevice::ReadOnly) && rows.readAll().trimmed().count('\n') == 4) << log.toStdString();
        }
        EXPECT_EQ(QDir(file("csv")).entryList({QStringLiteral("*.csv")}).size(), 2);
    }
}

TEST(ToolInfluxOptions, BadOptionsAreRefusedBeforeThePortIsOpened)
{
    const std::pair<const char*, const char*> cases[] = {
        {"--influx localhost:8428", "--influx takes http://HOST:PORT"},
        {"--influx ftp://host/write", "--influx takes http://HOST:PORT"},
        {"--spool-mb 2", "--spool-mb goes with --influx URL"},
        {"--influx http://127.0.0.1:1 --spool-mb 0", "--spool-mb takes MiB 0.01-"},
        {"--influx http://127.0.0.1:1 --influx-timeout 0", "--influx-timeout takes seconds 1-600"},
    };
    for (const auto& [words, message] : cases) {
        // A port that does not exist: the run never gets that far.
        const ToolRun run = RunTool(Words({"--port", "/nonexistent/tty", "poll"}) + QString::fromUtf8(words).split(u' '));
        EXPECT_EQ(run.exitCode, 2) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QString::fromUtf8(message))) << run.err.toStdString();
    }
}

} // namespace
