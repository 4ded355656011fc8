// A long run of bmstool as a collector, driven as processes: bmstool poll
// with every output on (CSV logs, MQTT to mosquitto, the /metrics endpoint,
// line protocol to VictoriaMetrics) polls 16 simulated packs while
// VictoriaMetrics is stopped and started every 5 minutes, the port is
// pulled every 10 minutes and /metrics is scraped 20 times a second. At the
// end it prints, per pack, the readings polled, the CSV rows and the points
// in VictoriaMetrics (each once); bmstool's resident memory and open files
// at the start and the end; the spool files left.
//
//   collector_soak [--minutes N] [--packs N] [--outage-s S] [--keep]
//
// Needs /usr/bin/victoria-metrics and /usr/sbin/mosquitto.

#include "support/child_process.h"
#include "support/http_get.h"
#include "support/sim_process.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <set>

namespace {

using namespace std::chrono_literals;

constexpr auto kVictoriaEvery = 5min;
constexpr auto kUnplugEvery = 10min;
constexpr auto kUnplugFor = 10s;
constexpr auto kScrapeEvery = 50ms;   // 20 a second

std::uint16_t FreePort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
}

// A helper server whose output nobody reads.
class Server {
public:
    bool start(const QString& program, const QStringList& arguments, const std::function<bool()>& ready)
    {
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.start(program, arguments);
        if (!m_process.waitForStarted(10000))
            return false;
        for (const QDeadlineTimer deadline(30000); !deadline.hasExpired(); QThread::msleep(100))
            if (ready())
                return true;
        return false;
    }
    void stop()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(30000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }

private:
    QProcess m_process;
};

// /proc figures of a process: resident memory in KiB and open files.
std::pair<long, long> ProcessFigures(qint64 pid)
{
    long rss = 0;
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                rss = line.mid(6).trimmed().split(' ').front().toLong();
    const long files = long(QDir(QStringLiteral("/proc/%1/fd").arg(pid)).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size());
    return {rss, files};
}

// The timestamps of one pack's pack voltage in VictoriaMetrics, as exported.
std::vector<qint64> PackPoints(std::uint16_t port, int pack)
{
    const QByteArray match = QUrl::toPercentEncoding(QStringLiteral("bms_pack_voltage_volts{pack=\"%1\"}").arg(pack));
    const HttpAnswer answer = HttpGet(port, "/api/v1/export?match%5B%5D=" + match);
    std::vector<qint64> points;
    for (const QByteArray& line : answer.body.split('\n'))
        for (const QJsonValue stamp : QJsonDocument::fromJson(line).object()[QStringLiteral("timestamps")].toArray())
            points.push_back(stamp.toInteger());
    return points;
}

qint64 AllPoints(std::uint16_t port)
{
    const HttpAnswer answer = HttpGet(port, "/api/v1/export?match%5B%5D=" + QUrl::toPercentEncoding(QStringLiteral("{__name__=~\"bms_.*\"}")));
    qint64 points = 0;
    for (const QByteArray& line : answer.body.split('\n'))
        points += QJsonDocument::fromJson(line).object()[QStringLiteral("values")].toArray().size();
    return points;
}

long CsvRows(const QString& folder, int pack)
{
    long rows = 0;
    for (const QString& name : QDir(folder).entryList({QStringLiteral("%1_*.csv").arg(pack)}, QDir::Files)) {
        QFile file(QDir(folder).filePath(name));
        if (file.open(QIODevice::ReadOnly))
            rows += long(file.readAll().trimmed().count('\n'));   // less the header
    }
    return rows;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const auto option = [&args](const char* name, int fallback) {
        const qsizetype at = args.indexOf(QLatin1String(name));
        return at >= 0 && at + 1 < args.size() ? args[at + 1].toInt() : fallback;
    };
    const std::chrono::minutes runFor{option("--minutes", 10)};
    const int packs = option("--packs", 16);
    const std::chrono::seconds outage{option("--outage-s", 30)};
    QTemporaryDir folder;
    folder.setAutoRemove(!args.contains(QStringLiteral("--keep")));
    const QString csv = folder.filePath(QStringLiteral("csv"));
    const QString spool = folder.filePath(QStringLiteral("spool"));

    SimProcess sim({}, packs);
    if (!sim.isReady()) {
        std::fprintf(stderr, "collector_soak: %s\n", qPrintable(sim.error()));
        return 1;
    }
    const std::uint16_t vmPort = FreePort();
    const QStringList vmArguments = {QStringLiteral("-storageDataPath"), folder.filePath(QStringLiteral("vm")),
                                     QStringLiteral("-httpListenAddr"), QStringLiteral("127.0.0.1:%1").arg(vmPort),
                                     QStringLiteral("-loggerLevel"), QStringLiteral("ERROR"),
                                     QStringLiteral("-search.latencyOffset"), QStringLiteral("0s"),
                                     QStringLiteral("-search.disableCache"),
                                     QStringLiteral("-dedup.minScrapeInterval"), QStringLiteral("1ms")};
    const auto vmReady = [vmPort] { return HttpGet(vmPort, "/health").body == "OK"; };
    Server victoria;
    if (!victoria.start(QStringLiteral("/usr/bin/victoria-metrics"), vmArguments, vmReady)) {
        std::fprintf(stderr, "collector_soak: victoria-metrics did not start\n");
        return 1;
    }
    const std::uint16_t mqttPort = FreePort();
    QFile conf(folder.filePath(QStringLiteral("mosquitto.conf")));
    if (!conf.open(QIODevice::WriteOnly)
        || conf.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\nlog_dest none\n").arg(mqttPort).toUtf8()) < 0)
        return 1;
    conf.close();
    Server broker;
    const auto brokerReady = [mqttPort] {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, mqttPort);
        return socket.waitForConnected(500);
    };
    if (!broker.start(QStringLiteral("/usr/sbin/mosquitto"), {QStringLiteral("-c"), conf.fileName()}, brokerReady)) {
        std::fprintf(stderr, "collector_soak: mosquitto did not start\n");
        return 1;
    }

    const std::uint16_t metricsPort = FreePort();
    ChildProcess tool;
    const QStringList toolArguments = {
        QStringLiteral("--port"), sim.linkPath(), QStringLiteral("--json"), QStringLiteral("poll"),
        QStringLiteral("--packs"), QStringLiteral("1-%1").arg(packs), QStringLiteral("--reconnect"),
        QStringLiteral("--csv"), csv, QStringLiteral("--mqtt"), QStringLiteral("mqtt://127.0.0.1:%1").arg(mqttPort),
        QStringLiteral("--metrics"), QStringLiteral("127.0.0.1:%1").arg(metricsPort),
        QStringLiteral("--influx"), QStringLiteral("http://127.0.0.1:%1").arg(vmPort),
        QStringLiteral("--spool-dir"), spool};
    if (!tool.start(QStringLiteral(BMS_TOOL_PROGRAM), toolArguments)) {
        std::fprintf(stderr, "collector_soak: bmstool did not start\n");
        return 1;
    }
    std::printf("collector_soak: %d packs for %lld min, VictoriaMetrics away %lld s every 5 min, port pulled %lld s "
                "every 10 min, /metrics scraped 20 times a second\n",
                packs, static_cast<long long>(runFor.count()), static_cast<long long>(outage.count()),
                static_cast<long long>(std::chrono::seconds(kUnplugFor).count()));
    std::fflush(stdout);

    // Readings counted as they are printed, so that hours of output are not kept.
    std::map<int, long> readings;
    QByteArray pending;
    QByteArray lastLine;
    long errorLines = 0;
    const auto take = [&] {
        pending += tool.takeStandardOutput();
        const qsizetype end = pending.lastIndexOf('\n');
        if (end < 0)
            return;
        for (const QByteArray& line : pending.left(end).split('\n')) {
            if (line.startsWith("{\"type\":\"analog\""))
                ++readings[QJsonDocument::fromJson(line).object()[QStringLiteral("pack")].toInt()];
            if (line.startsWith("{\"type\":\"influx\""))
                lastLine = line;
        }
        pending = pending.mid(end + 1);
        errorLines += tool.takeStandardError().count('\n');
    };

    QElapsedTimer clock;
    clock.start();
    const auto since = [&clock] { return std::chrono::milliseconds(clock.elapsed()); };
    std::pair<long, long> atStart{0, 0};
    long scrapes = 0;
    long failedScrapes = 0;
    int outages = 0;
    int unplugs = 0;
    bool victoriaAway = false;
    bool unplugged = false;
    std::chrono::milliseconds nextOutage = std::chrono::milliseconds(kVictoriaEvery) / 2;   // 2.5, 7.5, ... min
    std::chrono::milliseconds nextUnplug = std::chrono::milliseconds(kUnplugEvery) * 6 / 10;   // 6, 16, ... min
    std::chrono::milliseconds backAt{0};
    std::chrono::milliseconds nextScrape{0};
    while (since() < runFor && tool.isRunning()) {
        tool.waitForOutput("\x01", int(std::max(nextScrape - since(), std::chrono::milliseconds(0)).count()));
        // A steady 20 a second: a late scrape is followed by the next at once.
        nextScrape = std::max(nextScrape + kScrapeEvery, since() - kScrapeEvery);
        take();
        ++scrapes;
        // Counted once the endpoint is up, after the first reading.
        if (HttpGet(metricsPort).status != 200 && !readings.empty())
            ++failedScrapes;
        if (atStart.first == 0 && since() > 30s)
            atStart = ProcessFigures(tool.processId());
        if (!victoriaAway && since() >= nextOutage) {
            victoria.stop();
            victoriaAway = true;
            backAt = since() + outage;
            nextOutage += kVictoriaEvery;
            ++outages;
        }
        if (victoriaAway && since() >= backAt) {
            victoriaAway = !victoria.start(QStringLiteral("/usr/bin/victoria-metrics"), vmArguments, vmReady);
        }
        if (!unplugged && since() >= nextUnplug) {
            sim.stop();
            unplugged = true;
            nextUnplug += kUnplugEvery;
            ++unplugs;
        }
        if (unplugged && since() >= nextUnplug - kUnplugEvery + kUnplugFor)
            unplugged = !sim.start();
    }
    if (victoriaAway)
        victoria.start(QStringLiteral("/usr/bin/victoria-metrics"), vmArguments, vmReady);
    if (unplugged)
        sim.start();
    const std::pair<long, long> atEnd = ProcessFigures(tool.processId());
    tool.signal(SIGINT);
    tool.waitForFinished(60000);
    take();
    const QJsonObject finished = QJsonDocument::fromJson(lastLine).object();
    const qint64 sent = finished[QStringLiteral("sent")].toInteger(-1);
    // A point the server took may need a moment to show.
    qint64 shown = 0;
    for (const QDeadlineTimer deadline(30000); !deadline.hasExpired(); QThread::msleep(500)) {
        HttpGet(vmPort, "/internal/force_flush");
        if ((shown = AllPoints(vmPort)) == sent)
            break;
    }

    std::printf("bmstool exit %d after %.1f min; sent %lld, spooled %lld, dropped %lld, rejected %lld; "
                "points in VictoriaMetrics %lld\n",
                tool.exitCode(), double(clock.elapsed()) / 60000, static_cast<long long>(sent),
                static_cast<long long>(finished[QStringLiteral("spooled")].toInteger(-1)),
                static_cast<long long>(finished[QStringLiteral("dropped")].toInteger(-1)),
                static_cast<long long>(finished[QStringLiteral("rejected")].toInteger(-1)),
                static_cast<long long>(shown));
    std::printf("outages %d, port pulls %d, scrapes %ld (%.1f a second, %ld failed), messages on standard error %ld\n",
                outages, unplugs, scrapes, double(scrapes) * 1000 / double(runFor / 1ms), failedScrapes, errorLines);
    std::printf("pack  polled  csv_rows  vm_points  vm_distinct  equal\n");
    int unequal = 0;
    for (int pack = 1; pack <= packs; ++pack) {
        const std::vector<qint64> points = PackPoints(vmPort, pack);
        const std::set<qint64> distinct(points.begin(), points.end());
        const long rows = CsvRows(csv, pack);
        const bool equal = readings[pack] == rows && long(points.size()) == rows && distinct.size() == points.size();
        unequal += equal ? 0 : 1;
        std::printf("%4d  %6ld  %8ld  %9zu  %11zu  %s\n", pack, readings[pack], rows, points.size(), distinct.size(),
                    equal ? "yes" : "NO");
    }
    std::printf("bmstool RSS %ld KiB -> %ld KiB, open files %ld -> %ld\n", atStart.first, atEnd.first, atStart.second,
                atEnd.second);
    std::printf("spool files left: %lld\n",
                static_cast<long long>(QDir(spool).entryList({QStringLiteral("*.lp")}, QDir::Files).size()));
    broker.stop();
    victoria.stop();
    return unequal == 0 && sent == shown ? 0 : 1;
}
