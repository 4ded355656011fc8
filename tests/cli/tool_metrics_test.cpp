// poll --metrics over the simulated bus: Prometheus itself (started here on
// a free loopback port, with its own configuration and data folder) scrapes
// the tool and answers queries with the simulator's readings; a port in use
// leaves the polling going and fails the run. listen --metrics serves what
// it hears.

#include "tool_process.h"

#include "lib/sim_bus.h"
#include "protocol/frame.h"
#include "support/http_get.h"
#include "support/pseudo_terminal.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTcpServer>
#include <QThread>
#include <QUrl>

#include <gtest/gtest.h>

#include <csignal>
#include <set>

namespace {

const QString kPrometheus = QStringLiteral("/usr/bin/prometheus");

// Prometheus scraping one target every second, on a port of its own.
class Prometheus {
public:
    explicit Prometheus(std::uint16_t target) : m_port(FreeLoopbackPort())
    {
        QFile config(m_folder.filePath(QStringLiteral("prometheus.yml")));
        if (config.open(QIODevice::WriteOnly))
            config.write(QStringLiteral("global:\n  scrape_interval: 1s\n"
                                        "scrape_configs:\n  - job_name: bms\n    static_configs:\n"
                                        "      - targets: ['127.0.0.1:%1']\n")
                             .arg(target)
                             .toUtf8());
    }

    bool start()
    {
        if (!m_process.start(kPrometheus,
                             {QStringLiteral("--config.file=") + m_folder.filePath(QStringLiteral("prometheus.yml")),
                              QStringLiteral("--storage.tsdb.path=") + m_folder.filePath(QStringLiteral("data")),
                              QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(m_port)}))
            return false;
        const QDeadlineTimer deadline(60000);
        while (!deadline.hasExpired() && m_process.isRunning()) {
            if (HttpRequest(m_port, "GET", "/-/ready", 2000).status == 200)
                return true;
            QThread::msleep(200);
        }
        return false;
    }

    // The value of the one series an instant query finds, as Prometheus
    // gives it; empty while it finds none.
    QString query(const QString& expression) const
    {
        const QByteArray path = "/api/v1/query?query=" + QUrl::toPercentEncoding(expression);
        const QJsonArray result = QJsonDocument::fromJson(HttpGet(m_port, path).body)
                                      .object()[QStringLiteral("data")]
                                      .toObject()[QStringLiteral("result")]
                                      .toArray();
        if (result.size() != 1)
            return {};
        return result[0].toObject()[QStringLiteral("value")].toArray()[1].toString();
    }
    QString log() const { return QString::fromUtf8(m_process.standardError()).right(2000); }

private:
    QTemporaryDir m_folder;
    std::uint16_t m_port;
    ChildProcess m_process;
};

TEST(ToolMetricsTest, PrometheusScrapesThePolledReadingsAndSeesASilentPackDown)
{
    if (!QFile::exists(kPrometheus))
        GTEST_SKIP() << "prometheus is not installed";
    SimProcess sim({QStringLiteral("--fault"), QStringLiteral("silent:3")});
    ASSERT_TRUE(sim.isReady()) << sim.error().toStdString();
    LineReader tool(QStringLiteral(BMS_TOOL_PROGRAM), PollServingMetrics(sim.linkPath(), QStringLiteral("1-3")));
    const QString url = tool.metricsUrl();
    ASSERT_FALSE(url.isEmpty()) << tool.errors().toStdString();
    const std::uint16_t port = std::uint16_t(QUrl(url).port());
    ASSERT_EQ(HttpGet(port, "/other").status, 404);

    Prometheus prometheus(port);
    ASSERT_TRUE(prometheus.start()) << prometheus.log().toStdString();
    QString cell5;
    QString pack3Up;
    const QDeadlineTimer deadline(90000);
    while (!deadline.hasExpired() && (cell5.isEmpty() || pack3Up.isEmpty())) {
        QThread::msleep(300);
        cell5 = prometheus.query(QStringLiteral("bms_cell_voltage_volts{pack=\"2\",cell=\"5\"}"));
        pack3Up = prometheus.query(QStringLiteral("bms_pack_up{pack=\"3\"}"));
    }
    EXPECT_EQ(pack3Up, QLatin1String("0")) << prometheus.log().toStdString();
    EXPECT_EQ(prometheus.query(QStringLiteral("bms_pack_up{pack=\"2\"}")), QLatin1String("1"));
    EXPECT_EQ(prometheus.query(QStringLiteral("count(bms_soc_ratio{pack=\"3\"})")), QString());
    // The value scraped is one the simulator gave for pack 2's fifth cell.
    tool.end(SIGINT);
    std::set<QString> given;
    for (const QByteArray& line : tool.lines()) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (object[QStringLiteral("type")] == QLatin1String("analog") && object[QStringLiteral("pack")].toInt() == 2)
            given.insert(QString::number(object[QStringLiteral("cells_mV")].toArray()[4].toInt() / 1000.0));
    }
    EXPECT_TRUE(given.count(cell5)) << cell5.toStdString();
}

TEST(ToolMetricsTest, APortInUseIsReportedWhileThePollingGoesOnAndFailsTheRun)
{
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, 0));
    const ToolOnSim tool;
    ASSERT_TRUE(tool.isReady()) << tool.error().toStdString();
    QTemporaryDir logs;
    const ToolRun run = tool.run({QStringLiteral("--lang"), QStringLiteral("en"), QStringLiteral("poll"),
                                  QStringLiteral("--count"), QStringLiteral("2"), QStringLiteral("--csv"),
                                  logs.path(), QStringLiteral("--metrics"),
                                  QStringLiteral("127.0.0.1:%1").arg(taken.serverPort())});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out.count(QStringLiteral("analog pack=1")), 2) << run.out.toStdString();
    const QString where = QStringLiteral("cannot serve metrics on 127.0.0.1:%1").arg(taken.serverPort());
    EXPECT_EQ(run.err.count(where), 2) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("polling goes on"))) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("metrics were never served"))) << run.err.toStdString();
    // The log has both readings.
    const QStringList files = QDir(logs.path()).entryList({QStringLiteral("1_*.csv")});
    ASSERT_EQ(files.size(), 1);
    QFile log(QDir(logs.path()).filePath(files.first()));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray rows = log.readAll();
    EXPECT_TRUE(rows.contains("\n1,") && rows.contains("\n2,")) << rows.left(400).toStdString();

    const ToolRun bad = tool.run({QStringLiteral("poll"), QStringLiteral("--metrics"), QStringLiteral("nohost:80")});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_TRUE(bad.err.contains(QStringLiteral("--metrics takes [ADDRESS:]PORT: nohost is not an IP address")))
        << bad.err.toStdString();
}

} // namespace

// listen --metrics: the packs heard are served as the packs polled are.
TEST(ToolMetricsListening, ThePacksHeardAreServed)
{
    PseudoTerminal line;
    ASSERT_TRUE(line.isReady());
    const std::uint16_t port = FreeLoopbackPort();
    ChildProcess tool;
    ASSERT_TRUE(tool.start(QStringLiteral(BMS_TOOL_PROGRAM),
                           {QStringLiteral("--port"), line.slavePath(), QStringLiteral("listen"),
                            QStringLiteral("--metrics"), QStringLiteral("127.0.0.1:%1").arg(port)}));
    ASSERT_TRUE(tool.waitForErrorOutput("nothing is sent", 30000));
    // Two rounds of pack 2's analog and alarm data: the second ends the
    // first's turn.
    SimBus bus;
    for (int round = 0; round < 2; ++round)
        for (std::uint8_t cid2 : {0x42, 0x44}) {
            const QByteArray request = frame::BuildFrame(2, cid2, QByteArray(1, char(2)));
            ASSERT_TRUE(line.write(request + bus.respond(request).text));
        }
    QByteArray body;
    const QDeadlineTimer deadline(30000);
    while (!deadline.hasExpired() && !body.contains("bms_cell_voltage_volts{pack=\"2\"")) {
        QThread::msleep(100);
        body = HttpGet(port, "/metrics").body;
    }
    EXPECT_TRUE(body.contains("bms_cell_voltage_volts{pack=\"2\"")) << body.toStdString();
    EXPECT_TRUE(body.contains("bms_pack_up{pack=\"2\"")) << body.toStdString();
    tool.signal(SIGINT);
    ASSERT_TRUE(tool.waitForFinished(30000));
    EXPECT_EQ(tool.exitCode(), 0) << tool.standardError().toStdString();
    EXPECT_EQ(line.written().size(), 0);
}
