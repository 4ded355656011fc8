// bms-sim playing the master: what a listener reads from its line is every
// request and every answer in wire order, with the faults it was given.
#include "protocol/frame.h"
#include "support/child_process.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr int kPacks = 3;
constexpr int kRounds = 2;
constexpr std::uint8_t kCommands[] = {0x42, 0x44};   // analog, alarm

QString RequestEvent(int address, int cid2)
{
    return QStringLiteral("request %1 %2").arg(address).arg(cid2, 2, 16, QLatin1Char('0'));
}

// The frames in what the line carried, one event each: a request, an
// answer from an address, or a frame that fails its checks.
QStringList EventsOf(QByteArray text)
{
    QStringList events;
    for (qsizetype end = frame::CompleteFrameEnd(text); end >= 0; end = frame::CompleteFrameEnd(text)) {
        frame::ParsedFrame parsed;
        if (!frame::ParseFrame(text.first(end), parsed))
            events << QStringLiteral("bad");
        else if (parsed.cid2 == 0)   // an answer carries its result, 0 here, where a request has its command
            events << QStringLiteral("answer %1").arg(parsed.address);
        else
            events << RequestEvent(parsed.address, parsed.cid2);
        text.remove(0, end);
    }
    if (text.contains(frame::kStart))
        events << QStringLiteral("incomplete");
    return events;
}

struct MasterCase {
    const char* name;
    QStringList faults;
    int silentPack = 0;
    int badSumEvery = 0;
    bool echo = false;
};

// What the line must carry: each request, the master adapter's copy of it
// when it echoes, and the pack's answer unless it is silent, every
// badSumEvery-th answer damaged.
QStringList ExpectedEvents(const MasterCase& row)
{
    QStringList events;
    int answers = 0;
    for (int round = 0; round < kRounds; ++round)
        for (int address = 1; address <= kPacks; ++address)
            for (std::uint8_t cid2 : kCommands) {
                events << RequestEvent(address, cid2);
                if (row.echo)
                    events << RequestEvent(address, cid2);
                if (address == row.silentPack)
                    continue;
                ++answers;
                const bool bad = row.badSumEvery > 0 && answers % row.badSumEvery == 0;
                events << (bad ? QStringLiteral("bad") : QStringLiteral("answer %1").arg(address));
            }
    return events;
}

QByteArray ReadAvailable(int fd)
{
    QByteArray text;
    char buffer[4096];
    pollfd in{fd, POLLIN, 0};
    while (::poll(&in, 1, 200) > 0) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0)
            break;
        text.append(buffer, got);
    }
    return text;
}

TEST(BusMaster, ListenerReadsEveryExchangeInWireOrderWithTheFaultsGivenAndIsNeverAnswered)
{
    const MasterCase cases[] = {
        {"plain", {}},
        {"silent pack, noise and bad sums", {"silent:2", "noise", "badsum:3"}, 2, 3},
        {"echoing master adapter", {"echo"}, 0, 0, true},
    };
    for (const MasterCase& row : cases) {
        SCOPED_TRACE(row.name);
        QTemporaryDir folder;
        const QString link = folder.filePath(QStringLiteral("bus"));
        const QString statsPath = folder.filePath(QStringLiteral("stats.json"));
        QStringList arguments = {"--packs", QString::number(kPacks), "--master", "50", "--rounds",
                                 QString::number(kRounds), "--commands", "analog,alarm", "--timeout", "100",
                                 "--link", link, "--stats", statsPath};
        for (const QString& fault : row.faults)
            arguments << "--fault" << fault;
        ChildProcess sim;
        ASSERT_TRUE(sim.start(QStringLiteral(BMS_SIM_PROGRAM), arguments));
        ASSERT_TRUE(sim.waitForLine(10000)) << sim.standardError().constData();
        const int fd = ::open(QFile::encodeName(link).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        ASSERT_TRUE(sim.waitForOutput("rounds done 2", 20000)) << sim.standardError().constData();

        EXPECT_EQ(EventsOf(ReadAvailable(fd)), ExpectedEvents(row));
        // A listener that writes, even a sound request, is counted, never answered.
        const QByteArray request = frame::BuildFrame(1, 0x42, QByteArray(1, '\x01'));
        ASSERT_EQ(::write(fd, request.constData(), std::size_t(request.size())), request.size());
        EXPECT_TRUE(ReadAvailable(fd).isEmpty());
        sim.terminate();
        ::close(fd);
        EXPECT_EQ(sim.exitCode(), 0);
        EXPECT_TRUE(sim.standardError().contains(QByteArray("listener wrote ") + QByteArray::number(request.size()) + " bytes")) << sim.standardError().constData();
        QFile statsFile(statsPath);
        ASSERT_TRUE(statsFile.open(QIODevice::ReadOnly));
        const QJsonObject stats = QJsonDocument::fromJson(statsFile.readAll()).object();
        EXPECT_EQ(stats.value(QStringLiteral("listener_bytes")).toInt(), request.size());
        EXPECT_EQ(stats.value(QStringLiteral("requests")).toInt(), kRounds * kPacks * 2);
        EXPECT_EQ(stats.value(QStringLiteral("dropped_bytes")).toInt(), 0);
    }
}

} // namespace
