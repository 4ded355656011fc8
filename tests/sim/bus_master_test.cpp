// bms-sim playing the master: a listener reads every request and answer in
// wire order, with the faults given, and what it writes is never answered.
#include "protocol/frame.h"
#include "support/child_process.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr int kPacks = 3;
constexpr int kRounds = 2;

// One event per frame the line carried: "R<address>:<cid2>", "A<address>"
// for an answer (its result, 0, where a request has its command) or "bad".
QStringList EventsOf(QByteArray text)
{
    QStringList events;
    for (qsizetype end = frame::CompleteFrameEnd(text); end >= 0; end = frame::CompleteFrameEnd(text)) {
        frame::ParsedFrame parsed;
        if (!frame::ParseFrame(text.first(end), parsed))
            events << QStringLiteral("bad");
        else
            events << (parsed.cid2 == 0 ? QStringLiteral("A%1").arg(parsed.address)
                                        : QStringLiteral("R%1:%2").arg(parsed.address).arg(parsed.cid2, 0, 16));
        text.remove(0, end);
    }
    return events;
}

struct MasterCase {
    const char* name;
    QStringList faults;
    int silentPack = 0;
    int badSumEvery = 0;   // every n-th answer sent is damaged
    bool echo = false;     // the master's adapter copies each request
};

QStringList ExpectedEvents(const MasterCase& row)
{
    QStringList events;
    int answers = 0;
    for (int round = 0; round < kRounds; ++round)
        for (int address = 1; address <= kPacks; ++address)
            for (const char* cid2 : {"42", "44"}) {
                events << QStringLiteral("R%1:%2").arg(address).arg(QLatin1String(cid2));
                if (row.echo)
                    events << events.back();
                if (address == row.silentPack)
                    continue;
                const bool bad = row.badSumEvery > 0 && ++answers % row.badSumEvery == 0;
                events << (bad ? QStringLiteral("bad") : QStringLiteral("A%1").arg(address));
            }
    return events;
}

QByteArray ReadAvailable(int fd)
{
    QByteArray text;
    char buffer[4096];
    pollfd in{fd, POLLIN, 0};
    for (ssize_t got; ::poll(&in, 1, 200) > 0 && (got = ::read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, got);
    return text;
}

TEST(BusMaster, ListenerReadsEveryExchangeInWireOrderWithTheFaultsGivenAndIsNeverAnswered)
{
    const MasterCase cases[] = {
        {"silent pack, noise and bad sums", {"silent:2", "noise", "badsum:3"}, 2, 3},
        {"echoing master adapter", {"echo"}, 0, 0, true},
    };
    for (const MasterCase& row : cases) {
        SCOPED_TRACE(row.name);
        QTemporaryDir folder;
        const QString link = folder.filePath(QStringLiteral("bus"));
        QStringList arguments = {"--packs", QString::number(kPacks), "--master", "50", "--rounds", "2",
                                 "--commands", "analog,alarm", "--timeout", "100", "--link", link};
        for (const QString& fault : row.faults)
            arguments << "--fault" << fault;
        ChildProcess sim;
        ASSERT_TRUE(sim.start(QStringLiteral(BMS_SIM_PROGRAM), arguments));
        ASSERT_TRUE(sim.waitForLine(10000)) << sim.standardError().constData();
        const int fd = ::open(link.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        ASSERT_TRUE(sim.waitForOutput("rounds done 2", 20000)) << sim.standardError().constData();
        EXPECT_EQ(EventsOf(ReadAvailable(fd)), ExpectedEvents(row));

        // A listener that writes, even a sound request, is counted, never answered.
        const QByteArray request = frame::BuildFrame(1, 0x42, QByteArray(1, '\x01'));
        ASSERT_EQ(::write(fd, request.constData(), std::size_t(request.size())), request.size());
        EXPECT_TRUE(ReadAvailable(fd).isEmpty());
        sim.terminate();
        ::close(fd);
        EXPECT_TRUE(sim.standardError().contains("listener wrote " + QByteArray::number(request.size()) + " bytes"));
    }
}

} // namespace
