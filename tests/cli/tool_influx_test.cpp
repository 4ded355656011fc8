// poll --influx into a real VictoriaMetrics (started on a free loopback
// port of the test's own, its storage in a temporary folder) over the
// simulated bus: the exported series hold the CSV log's readings row for
// row, also across a 20 s outage of the server; a 1 MiB spool that
// overflows counts what it dropped; and servers that fail in other ways
// (none, 400, 503, no answer) leave the polling and the CSV logs alone.

#include "tool_process.h"

#include "support/http_stub.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QUrlQuery>

#include <gtest/gtest.h>

#include <map>

namespace {

int FreePort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
}

// An HTTP exchange with a server of the test, on the test's thread.
QByteArray Http(const QString& url, const QByteArray& form = {}, int* status = nullptr)
{
    QNetworkAccessManager network;
    QNetworkRequest request{QUrl(url)};
    request.setTransferTimeout(20000);
    QNetworkReply* reply = form.isNull() ? network.get(request) : [&] {
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
        return network.post(request, form);
    }();
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    if (status)
        *status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QByteArray body = reply->readAll();
    reply->deleteLater();
    return body;
}

// Keeps a child's pipes drained for a while.
void PumpFor(ChildProcess& process, int milliseconds)
{
    process.waitForOutput(QByteArrayLiteral("\x01"), milliseconds);
}

// victoria-metrics on 127.0.0.1:port with its data in a folder of its own;
// restartable on the same port and data.
class VictoriaMetrics {
public:
    VictoriaMetrics() : m_port(FreePort()) {}

    bool start()
    {
        m_process = std::make_unique<ChildProcess>();
        if (!m_process->start(QStringLiteral("/usr/bin/victoria-metrics"),
                              {QStringLiteral("-storageDataPath"), m_folder.filePath(QStringLiteral("data")),
                               QStringLiteral("-httpListenAddr"), QStringLiteral("127.0.0.1:%1").arg(m_port),
                               QStringLiteral("-loggerLevel"), QStringLiteral("ERROR"),
                               // Queries see the points just written, not only those 30 s old.
                               QStringLiteral("-search.latencyOffset"), QStringLiteral("0s"),
                               QStringLiteral("-search.disableCache")}))
            return false;
        const QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired() && m_process->isRunning()) {
            if (Http(url() + QStringLiteral("/health")) == "OK")
                return true;
            PumpFor(*m_process, 100);
        }
        return false;
    }
    void stop() { m_process->terminate(20000); }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }

    // Every point of the series that match, as /api/v1/export gives them.
    std::vector<QJsonObject> exported(const QString& match) const
    {
        Http(url() + QStringLiteral("/internal/force_flush"));
        QUrlQuery form;
        form.addQueryItem(QStringLiteral("match[]"), match);
        std::vector<QJsonObject> series;
        for (const QByteArray& line : Http(url() + QStringLiteral("/api/v1/export"),
                                           form.query(QUrl::FullyEncoded).toUtf8())
                                          .split('\n'))
            if (!line.isEmpty())
                series.push_back(QJsonDocument::fromJson(line).object());
        return series;
    }

private:
    QTemporaryDir m_folder;
    int m_port;
    std::unique_ptr<ChildProcess> m_process;
};

// Points of one series in time order: (ms, value).
using Points = std::vector<std::pair<qint64, double>>;

// The series of one pack by name and cell/sensor label: "cell_voltage_volts/5".
std::map<QString, Points> PackSeries(const std::vector<QJsonObject>& exported, int pack)
{
    std::map<QString, Points> series;
    for (const QJsonObject& object : exported) {
        const QJsonObject metric = object[QStringLiteral("metric")].toObject();
        if (metric[QStringLiteral("pack")].toString() != QString::number(pack))
            continue;
        QString key = metric[QStringLiteral("__name__")].toString().mid(4);
        for (const char* label : {"cell", "sensor", "name"})
            if (metric.contains(QLatin1String(label)))
                key += u'/' + metric[QLatin1String(label)].toString();
        Points& points = series[key];
        const QJsonArray values = object[QStringLiteral("values")].toArray();
        const QJsonArray times = object[QStringLiteral("timestamps")].toArray();
        for (qsizetype i = 0; i < values.size(); ++i)
            points.emplace_back(times[i].toInteger(), values[i].toDouble());
        std::sort(points.begin(), points.end());
    }
    return series;
}

// The CSV log of each pack against what the server holds: every column that
// is a reading equals the series of that reading, row for row, at the
// row's time.
void ExpectServerHoldsTheCsvLogs(const VictoriaMetrics& server, const QString& csvFolder, int packs, int* rows = nullptr)
{
    // Column, series, and the factor from the log's unit to the series'.
    struct Column {
        int column;
        QString series;
        double divisor;
    };
    std::vector<Column> columns = {
        {3, QStringLiteral("pack_voltage_volts"), 1},     {4, QStringLiteral("pack_current_amperes"), 1},
        {5, QStringLiteral("soc_ratio"), 100},            {6, QStringLiteral("soh_ratio"), 100},
        {7, QStringLiteral("remaining_capacity_ampere_hours"), 1},
        {8, QStringLiteral("full_capacity_ampere_hours"), 1},
        {9, QStringLiteral("charge_cycles"), 1},          {10, QStringLiteral("humidity_ratio"), 100},
        {13, QStringLiteral("temperature_celsius/ambient"), 1},
        {14, QStringLiteral("temperature_celsius/fet"), 1},
    };
    for (int k = 1; k <= 4; ++k)
        columns.push_back({17 + k, QStringLiteral("temperature_celsius/cell%1").arg(k), 1});
    for (int k = 1; k <= 16; ++k)
        columns.push_back({21 + k, QStringLiteral("cell_voltage_volts/%1").arg(k), 1000});
    const std::vector<QJsonObject> exported = server.exported(QStringLiteral("{__name__=~\"bms_.*\"}"));
    int total = 0;
    for (int pack = 1; pack <= packs; ++pack) {
        const QStringList logs = QDir(csvFolder).entryList({QStringLiteral("%1_*.csv").arg(pack)}, QDir::Files);
        ASSERT_EQ(logs.size(), 1) << "pack " << pack;
        QFile file(QDir(csvFolder).filePath(logs.front()));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        QList<QByteArray> lines = file.readAll().trimmed().split('\n');
        lines.removeFirst();   // the header
        ASSERT_FALSE(lines.isEmpty());
        total += int(lines.size());
        const std::map<QString, Points> series = PackSeries(exported, pack);
        for (const Column& column : columns) {
            SCOPED_TRACE(QStringLiteral("pack %1 %2").arg(pack).arg(column.series).toStdString());
            const auto found = series.find(column.series);
            ASSERT_NE(found, series.end());
            const Points& points = found->second;
            ASSERT_EQ(points.size(), std::size_t(lines.size()));
            for (qsizetype row = 0; row < lines.size(); ++row) {
                const QList<QByteArray> cells = lines[row].trimmed().split(',');
                const qint64 rowTime = QDateTime::fromString(QString::fromUtf8(cells[2]),
                                                             QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                                           .toSecsSinceEpoch();
                EXPECT_LE(std::abs(points[std::size_t(row)].first / 1000 - rowTime), 1) << "row " << row + 1;
                EXPECT_EQ(points[std::size_t(row)].second, cells[column.column].toDouble() / column.divisor)
                    << "row " << row + 1;
            }
        }
        // Every turn says whether the pack answered.
        EXPECT_EQ(series.at(QStringLiteral("pack_up")).size(), std::size_t(lines.size()));
    }
    if (rows)
        *rows = total;
}

QJsonObject Finished(const QString& out)
{
    for (const QString& line : out.split(u'\n', Qt::SkipEmptyParts)) {
        const QJsonObject object = QJsonDocument::fromJson(line.toUtf8()).object();
        if (object[QStringLiteral("type")] == QStringLiteral("influx")
            && object[QStringLiteral("event")] == QStringLiteral("finished"))
            return object;
    }
    return {};
}

class ToolInflux : public ToolOnSimTest {
protected:
    QStringList influx(const VictoriaMetrics& server, const char* spool = "spool") const
    {
        return {QStringLiteral("--csv"), file("csv"), QStringLiteral("--influx"), server.url(),
                QStringLiteral("--spool-dir"), file(spool)};
    }
};

TEST_F(ToolInflux, ExportedSeriesEqualTheCsvLogRowForRow)
{
    start();
    VictoriaMetrics server;
    ASSERT_TRUE(server.start());
    const ToolRun run = m_tool->json(Words({"poll", "--packs", "1-4", "--count", "3"}) + influx(server));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonObject finished = Finished(run.out);
    EXPECT_GT(finished[QStringLiteral("sent")].toInteger(), 0);
    EXPECT_EQ(finished[QStringLiteral("spooled")].toInteger(), 0);
    EXPECT_EQ(finished[QStringLiteral("dropped")].toInteger(), 0);
    EXPECT_EQ(finished[QStringLiteral("rejected")].toInteger(), 0);
    int rows = 0;
    ExpectServerHoldsTheCsvLogs(server, file("csv"), 4, &rows);
    EXPECT_EQ(rows, 12);
    // Each point was sent once: the server holds as many as the run sent.
    qint64 points = 0;
    for (const QJsonObject& series : server.exported(QStringLiteral("{__name__=~\"bms_.*\"}")))
        points += series[QStringLiteral("values")].toArray().size();
    EXPECT_EQ(points, finished[QStringLiteral("sent")].toInteger());
}

// The server goes away for 20 s while the polling goes on: the readings of
// that time wait in the spool and reach it, in order, when it is back.
TEST_F(ToolInflux, ServerAwayFor20SecondsLosesNoReading)
{
    start();
    VictoriaMetrics server;
    ASSERT_TRUE(server.start());
    ChildProcess tool;
    ASSERT_TRUE(tool.start(QStringLiteral(BMS_TOOL_PROGRAM),
                           QStringList{QStringLiteral("--port"), m_tool->sim().linkPath(), QStringLiteral("--json"),
                                       QStringLiteral("poll"), QStringLiteral("--packs"), QStringLiteral("1-4"),
                                       QStringLiteral("--interval"), QStringLiteral("500")}
                               + influx(server)));
    ASSERT_TRUE(tool.waitForOutput(QByteArrayLiteral("\"type\":\"analog\""), 60000, 8));
    server.stop();
    ASSERT_TRUE(tool.waitForErrorOutput(QByteArrayLiteral("polling goes on"), 30000));
    PumpFor(tool, 20000);
    ASSERT_TRUE(server.start());
    ASSERT_TRUE(tool.waitForOutput(QByteArrayLiteral("\"event\":\"back\""), 60000));
    PumpFor(tool, 1500);
    tool.signal(SIGINT);
    ASSERT_TRUE(tool.waitForFinished(60000));
    EXPECT_EQ(tool.exitCode(), 0) << tool.standardError().toStdString();
    const QJsonObject finished = Finished(QString::fromUtf8(tool.standardOutput()));
    EXPECT_EQ(finished[QStringLiteral("spooled")].toInteger(), 0);
    EXPECT_EQ(finished[QStringLiteral("dropped")].toInteger(), 0);
    EXPECT_TRUE(QDir(file("spool")).entryList({QStringLiteral("*.lp")}, QDir::Files).isEmpty());
    ExpectServerHoldsTheCsvLogs(server, file("csv"), 4);
}

// A 1 MiB spool and a server that is not there: the oldest readings are
// kept, the rest counted as dropped; the next run sends what was kept.
TEST_F(ToolInflux, FullSpoolCountsWhatItDroppedAndTheNextRunSendsTheRest)
{
    m_tool = std::make_unique<ToolOnSim>(QStringList{}, 16);
    ASSERT_TRUE(m_tool->isReady()) << m_tool->error().toStdString();
    VictoriaMetrics server;   // not started yet
    const QStringList spool = {QStringLiteral("--spool-mb"), QStringLiteral("1")};
    const ToolRun away = m_tool->json(Words({"poll", "--packs", "1-16", "--count", "10"}) + influx(server) + spool);
    ASSERT_EQ(away.exitCode, 0) << away.err.toStdString();
    EXPECT_TRUE(away.err.contains(QStringLiteral("the spool is full"))) << away.err.toStdString();
    const QJsonObject first = Finished(away.out);
    const qint64 kept = first[QStringLiteral("spooled")].toInteger();
    const qint64 dropped = first[QStringLiteral("dropped")].toInteger();
    EXPECT_EQ(first[QStringLiteral("sent")].toInteger(), 0);
    EXPECT_GT(kept, 0);
    EXPECT_GT(dropped, 0);
    qint64 spoolBytes = 0;
    for (const QFileInfo& info : QDir(file("spool")).entryInfoList({QStringLiteral("*.lp")}, QDir::Files))
        spoolBytes += info.size();
    EXPECT_LE(spoolBytes, 1024 * 1024);
    EXPECT_GT(spoolBytes, 1024 * 1024 - 64 * 1024);

    ASSERT_TRUE(server.start());
    const ToolRun back = m_tool->json(Words({"poll", "--packs", "1-16", "--count", "1", "--csv"}) + QStringList{file("csv2")}
                                      + influx(server).mid(2) + spool);
    ASSERT_EQ(back.exitCode, 0) << back.err.toStdString();
    const QJsonObject second = Finished(back.out);
    // The new readings waited while the full spool drained.
    EXPECT_EQ(second[QStringLiteral("spooled")].toInteger(), 0);
    EXPECT_EQ(second[QStringLiteral("dropped")].toInteger(), 0);
    const qint64 sentAfter = second[QStringLiteral("sent")].toInteger();
    // The second run's own turn, one per pack, gives the lines of a turn.
    const qint64 turnLines = (sentAfter - kept) / 16;
    ASSERT_GT(turnLines, 0);
    EXPECT_EQ(kept + dropped, turnLines * 16 * 10);
    // The oldest were kept: the server holds the first run's first turns,
    // in order, and the second run's one.
    const std::map<QString, Points> pack1 = PackSeries(server.exported(QStringLiteral("bms_pack_up")), 1);
    const std::size_t keptTurns = std::size_t(kept / turnLines / 16);
    EXPECT_GE(pack1.at(QStringLiteral("pack_up")).size(), keptTurns + 1);
    EXPECT_LT(pack1.at(QStringLiteral("pack_up")).size(), std::size_t(10 + 1));
}

// The five queries of the README, as it shows them, run against what a
// poll wrote: each parses and gives a series per pack (the silent pack 3
// is the one down).
TEST_F(ToolInflux, ReadmeQueriesReturnSeries)
{
    struct Query {
        const char* text;
        int series;
    };
    const Query queries[] = {
        {"max_over_time((max by (pack) (bms_cell_voltage_volts) - min by (pack) (bms_cell_voltage_volts))[7d:1m])", 2},
        {"max by (pack) (bms_temperature_celsius{sensor=~\"cell.*\"})", 2},
        {"bms_pack_up == 0", 1},
        {"sum by (pack) (max_over_time(bms_protection_active[1d]))", 2},
        {"deriv(bms_soh_ratio[30d]) * 365 * 86400", 2},
    };
    QFile readme(QStringLiteral(BMS_SOURCE_DIR "/README.md"));
    ASSERT_TRUE(readme.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(readme.readAll());

    start({QStringLiteral("--fault"), QStringLiteral("silent:3")});
    VictoriaMetrics server;
    ASSERT_TRUE(server.start());
    const ToolRun run = m_tool->json(Words({"poll", "--packs", "1-3", "--count", "3"}) + influx(server));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    server.exported(QStringLiteral("bms_pack_up"));   // flushes what came in
    for (const Query& query : queries) {
        SCOPED_TRACE(query.text);
        EXPECT_TRUE(text.contains(QString::fromUtf8(query.text)));
        QUrlQuery form;
        form.addQueryItem(QStringLiteral("query"), QString::fromUtf8(query.text));
        // A minute on, as a dashboard sees it: the subquery's steps are
        // whole minutes, the run lasted seconds.
        form.addQueryItem(QStringLiteral("time"), QString::number(QDateTime::currentSecsSinceEpoch() + 60));
        int status = 0;
        const QJsonObject answer = QJsonDocument::fromJson(
            Http(server.url() + QStringLiteral("/api/v1/query"), form.query(QUrl::FullyEncoded).toUtf8(), &status)).object();
        EXPECT_EQ(status, 200);
        const QJsonArray result = answer[QStringLiteral("data")].toObject()[QStringLiteral("result")].toArray();
        EXPECT_EQ(result.size(), query.series) << QJsonDocument(answer).toJson().toStdString();
        if (query.series == 1 && !result.isEmpty()) {
            EXPECT_EQ(result[0].toObject()[QStringLiteral("metric")].toObject()[QStringLiteral("pack")], QStringLiteral("3"));
        }
    }
}

TEST_F(ToolInflux, FailingServersGiveAMessageAndThePollingGoesOn)
{
    start();
    struct Case {
        const char* name;
        int status;            // -1: nothing listens
        const char* message;   // on standard error
        bool spooled;          // kept for later, or else refused and dropped
    };
    const Case cases[] = {
        {"nothing listens", -1, "polling goes on, readings wait in the spool", true},
        {"answers 503", 503, "answered 503", true},
        {"answers 400", 400, "refused the lines: answered 400", false},
        {"never answers", 0, "polling goes on, readings wait in the spool", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<HttpStub> server;
        QString url = QStringLiteral("http://127.0.0.1:%1").arg(FreePort());
        if (c.status >= 0) {
            server = std::make_unique<HttpStub>([status = c.status](int) { return status; });
            url = server->url();
        }
        QTemporaryDir folder;
        const ToolRun run = m_tool->json(Words({"poll", "--packs", "1-2", "--count", "4", "--interval", "300",
                                                "--influx-timeout", "2"})
                                         + QStringList{QStringLiteral("--csv"), folder.filePath(QStringLiteral("csv")),
                                                       QStringLiteral("--influx"), url, QStringLiteral("--spool-dir"),
                                                       folder.filePath(QStringLiteral("spool"))});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QString::fromUtf8(c.message))) << run.err.toStdString();
        const QJsonObject finished = Finished(run.out);
        EXPECT_EQ(finished[QStringLiteral("sent")].toInteger(), 0);
        EXPECT_EQ(finished[QStringLiteral("spooled")].toInteger() > 0, c.spooled);
        EXPECT_EQ(finished[QStringLiteral("rejected")].toInteger() > 0, !c.spooled);
        // The CSV logs got every turn.
        for (int pack = 1; pack <= 2; ++pack) {
            const QDir csv(folder.filePath(QStringLiteral("csv")));
            const QStringList logs = csv.entryList({QStringLiteral("%1_*.csv").arg(pack)}, QDir::Files);
            ASSERT_EQ(logs.size(), 1);
            QFile log(csv.filePath(logs.front()));
            ASSERT_TRUE(log.open(QIODevice::ReadOnly));
            EXPECT_EQ(log.readAll().trimmed().count('\n'), 4);
        }
    }
}

TEST_F(ToolInflux, BadInfluxOptionsAreRefusedBeforeThePortIsOpened)
{
    struct Case {
        std::initializer_list<const char*> words;
        const char* message;
    };
    const Case cases[] = {
        {{"--influx", "localhost:8428"}, "--influx takes http://HOST:PORT"},
        {{"--influx", "ftp://host/write"}, "--influx takes http://HOST:PORT"},
        {{"--influx", "http://"}, "--influx takes http://HOST:PORT"},
        {{"--influx-db", "x"}, "--influx-db goes with --influx URL"},
        {{"--spool-mb", "2"}, "--spool-mb goes with --influx URL"},
        {{"--influx", "http://127.0.0.1:1", "--spool-mb", "0"}, "--spool-mb takes MiB 0.01-"},
        {{"--influx", "http://127.0.0.1:1", "--spool-mb", "lots"}, "--spool-mb takes MiB 0.01-"},
        {{"--influx", "http://127.0.0.1:1", "--influx-timeout", "0"}, "--influx-timeout takes seconds 1-600"},
    };
    for (const Case& c : cases) {
        // No simulator: a port that does not exist shows the run never got that far.
        const ToolRun run = RunTool(Words({"--port", "/nonexistent/tty", "poll"}) + Words(c.words));
        EXPECT_EQ(run.exitCode, 2) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QString::fromUtf8(c.message))) << run.err.toStdString();
    }
}

} // namespace
