// The shipped alerting rules end to end: Prometheus scrapes poll --metrics
// over a simulated bus with a silent pack, evaluates a copy of the rules
// whose waits are cut to seconds, and Alertmanager delivers the "pack down"
// alert to a webhook this test serves. Every program runs on a free
// loopback port and is stopped by the test.

#include "tool_process.h"

#include "support/http_get.h"

#include <QFile>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QUrl>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <vector>

namespace {

const QString kPrometheus = QStringLiteral("/usr/bin/prometheus");
const QString kAlertmanager = QStringLiteral("/usr/bin/prometheus-alertmanager");
constexpr int kReadyMs = 60000;

bool WriteFile(const QString& path, const QByteArray& text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

// Polls the program's /-/ready until it answers 200.
bool WaitReady(ChildProcess& process, std::uint16_t port)
{
    const QDeadlineTimer deadline(kReadyMs);
    while (!deadline.hasExpired() && process.isRunning()) {
        if (HttpRequest(port, "GET", "/-/ready", 2000).status == 200)
            return true;
        QThread::msleep(200);
    }
    return false;
}

// The shipped rules with every wait cut to a few seconds, so that a test
// sees in seconds what a rack sees in minutes.
QByteArray RulesWithShortWaits()
{
    QFile shipped(QStringLiteral(BMS_SOURCE_DIR "/dist/prometheus/bms-alerts.yml"));
    if (!shipped.open(QIODevice::ReadOnly))
        return {};
    QString rules = QString::fromUtf8(shipped.readAll());
    rules.replace(QRegularExpression(QStringLiteral("for: \\d+[smh]")), QStringLiteral("for: 3s"));
    return rules.toUtf8();
}

// The webhook receiver: answers every POST with 200 and keeps its body.
class Webhook {
public:
    bool listen() { return m_server.listen(QHostAddress::LocalHost, 0); }
    std::uint16_t port() const { return m_server.serverPort(); }

    // Takes deliveries until `done` holds for one of them or the time is up;
    // `idle` runs between them.
    bool waitFor(const std::function<bool(const QJsonObject&)>& done, const std::function<void()>& idle,
                 int timeoutMs)
    {
        const QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            if (!m_server.waitForNewConnection(100)) {
                idle();
                continue;
            }
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                const QJsonObject body = QJsonDocument::fromJson(receive(*socket)).object();
                delete socket;
                m_deliveries.push_back(body);
                if (done(body))
                    return true;
            }
        }
        return false;
    }
    const std::vector<QJsonObject>& deliveries() const { return m_deliveries; }

private:
    static QByteArray receive(QTcpSocket& socket)
    {
        QByteArray request;
        const QDeadlineTimer deadline(5000);
        qsizetype bodyAt = -1;
        qsizetype length = 0;
        while (!deadline.hasExpired() && (bodyAt < 0 || request.size() < bodyAt + length)) {
            if (!socket.waitForReadyRead(200))
                continue;
            request += socket.readAll();
            if (bodyAt < 0 && (bodyAt = request.indexOf("\r\n\r\n")) >= 0) {
                bodyAt += 4;
                const QRegularExpressionMatch match =
                    QRegularExpression(QStringLiteral("content-length:\\s*(\\d+)"),
                                       QRegularExpression::CaseInsensitiveOption)
                        .match(QString::fromLatin1(request.left(bodyAt)));
                length = match.hasMatch() ? match.captured(1).toLongLong() : 0;
            }
        }
        socket.write("HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        socket.waitForBytesWritten(2000);
        socket.disconnectFromHost();
        return bodyAt < 0 ? QByteArray() : request.mid(bodyAt, length);
    }

    QTcpServer m_server;
    std::vector<QJsonObject> m_deliveries;
};

// The firing alerts of one delivery with the given name, by pack.
std::vector<QJsonObject> Firing(const QJsonObject& delivery, const char* alertname)
{
    std::vector<QJsonObject> alerts;
    for (const QJsonValue& value : delivery[QStringLiteral("alerts")].toArray()) {
        const QJsonObject alert = value.toObject();
        const QJsonObject labels = alert[QStringLiteral("labels")].toObject();
        if (alert[QStringLiteral("status")] == QLatin1String("firing")
            && labels[QStringLiteral("alertname")] == QLatin1String(alertname))
            alerts.push_back(labels);
    }
    return alerts;
}

TEST(ToolAlertsTest, AlertmanagerDeliversPackDownForTheSilentPackAlone)
{
    if (!QFile::exists(kPrometheus) || !QFile::exists(kAlertmanager))
        GTEST_SKIP() << "prometheus or prometheus-alertmanager is not installed";
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());

    Webhook webhook;
    ASSERT_TRUE(webhook.listen());
    const std::uint16_t alertmanagerPort = FreeLoopbackPort();
    ASSERT_TRUE(WriteFile(folder.filePath(QStringLiteral("alertmanager.yml")),
                          QStringLiteral("route:\n  receiver: test\n  group_by: [alertname, pack]\n"
                                         "  group_wait: 1s\n  group_interval: 1s\n  repeat_interval: 1h\n"
                                         "receivers:\n  - name: test\n    webhook_configs:\n"
                                         "      - url: http://127.0.0.1:%1/alerts\n")
                              .arg(webhook.port())
                              .toUtf8()));
    // No cluster port: it would listen on every address.
    ChildProcess alertmanager;
    ASSERT_TRUE(alertmanager.start(
        kAlertmanager, {QStringLiteral("--config.file=") + folder.filePath(QStringLiteral("alertmanager.yml")),
                        QStringLiteral("--storage.path=") + folder.filePath(QStringLiteral("alertmanager")),
                        QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(alertmanagerPort),
                        QStringLiteral("--cluster.listen-address=")}));
    ASSERT_TRUE(WaitReady(alertmanager, alertmanagerPort)) << alertmanager.standardError().right(2000).toStdString();

    SimProcess sim({QStringLiteral("--fault"), QStringLiteral("silent:3")});
    ASSERT_TRUE(sim.isReady()) << sim.error().toStdString();
    LineReader tool(QStringLiteral(BMS_TOOL_PROGRAM), PollServingMetrics(sim.linkPath(), QStringLiteral("1-3")));
    const QString url = tool.metricsUrl();
    ASSERT_FALSE(url.isEmpty()) << tool.errors().toStdString();

    const QByteArray rules = RulesWithShortWaits();
    ASSERT_TRUE(rules.contains("for: 3s") && !rules.contains("for: 2m"));
    ASSERT_TRUE(WriteFile(folder.filePath(QStringLiteral("bms-alerts.yml")), rules));
    ASSERT_TRUE(WriteFile(folder.filePath(QStringLiteral("prometheus.yml")),
                          QStringLiteral("global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
                                         "rule_files:\n  - %1\n"
                                         "alerting:\n  alertmanagers:\n    - static_configs:\n"
                                         "        - targets: ['127.0.0.1:%2']\n"
                                         "scrape_configs:\n  - job_name: bms\n    static_configs:\n"
                                         "      - targets: ['127.0.0.1:%3']\n")
                              .arg(folder.filePath(QStringLiteral("bms-alerts.yml")))
                              .arg(alertmanagerPort)
                              .arg(QUrl(url).port())
                              .toUtf8()));
    const std::uint16_t prometheusPort = FreeLoopbackPort();
    ChildProcess prometheus;
    ASSERT_TRUE(prometheus.start(
        kPrometheus, {QStringLiteral("--config.file=") + folder.filePath(QStringLiteral("prometheus.yml")),
                      QStringLiteral("--storage.tsdb.path=") + folder.filePath(QStringLiteral("prometheus")),
                      QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(prometheusPort)}));
    ASSERT_TRUE(WaitReady(prometheus, prometheusPort)) << prometheus.standardError().right(2000).toStdString();

    // The tool's output is read meanwhile, so that a full pipe never holds
    // up its polling.
    const bool delivered = webhook.waitFor(
        [](const QJsonObject& delivery) { return !Firing(delivery, "BmsPackDown").empty(); },
        [&tool] { tool.waitFor([] { return false; }, 1); }, 45000);
    ASSERT_TRUE(delivered) << prometheus.standardError().right(2000).toStdString()
                           << alertmanager.standardError().right(2000).toStdString();

    // Only pack 3 is down, and the alert carries what a receiver routes on.
    std::vector<QJsonObject> down;
    for (const QJsonObject& delivery : webhook.deliveries())
        for (const QJsonObject& labels : Firing(delivery, "BmsPackDown"))
            down.push_back(labels);
    ASSERT_EQ(down.size(), 1u);
    EXPECT_EQ(down[0][QStringLiteral("pack")], QLatin1String("3"));
    EXPECT_EQ(down[0][QStringLiteral("severity")], QLatin1String("critical"));
    EXPECT_EQ(down[0][QStringLiteral("job")], QLatin1String("bms"));
    // Prometheus itself holds the one pack down, firing, while the tool
    // still serves.
    const QJsonArray held =
        QJsonDocument::fromJson(
            HttpGet(prometheusPort, "/api/v1/query?query=" + QUrl::toPercentEncoding("ALERTS{alertname=\"BmsPackDown\"}"))
                .body)
            .object()[QStringLiteral("data")]
            .toObject()[QStringLiteral("result")]
            .toArray();
    ASSERT_EQ(held.size(), 1);
    const QJsonObject metric = held[0].toObject()[QStringLiteral("metric")].toObject();
    EXPECT_EQ(metric[QStringLiteral("pack")], QLatin1String("3"));
    EXPECT_EQ(metric[QStringLiteral("alertstate")], QLatin1String("firing"));
    tool.end(SIGINT);
}

} // namespace
