// The traffic ring: what the protocol core records of each exchange with
// the simulated pack under each fault, and the ring's bound.

#include "protocol/devoper.h"
#include "protocol/frame.h"
#include "sim_link.h"

#include <QDateTime>

#include <gtest/gtest.h>

namespace {

constexpr std::uint8_t kPort = 3;
constexpr std::uint8_t kAddress = 2;

struct FaultCase {
    const char* fault;        // empty: none
    std::uint8_t reason;      // what was wrong with the answer
    bool packRtn;
    bool answered;            // the pack sent something
};

TEST(TrafficLog, RecordsEachExchangeAsOnTheWireWithItsReason)
{
    const FaultCase cases[] = {
        {"", ResultCode::kSuccess, false, true},
        {"noise", ResultCode::kSuccess, false, true},
        {"badsum:1", ResultCode::kBadChecksum, false, true},
        {"truncate:1", ResultCode::kIncomplete, false, true},
        {"wrongaddr:1", ResultCode::kWrongAddress, false, true},
        {"rtn:51:04", 0x04, true, true},
        {"silent:2", ResultCode::kNoAnswer, false, false},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.fault);
        SimOptions options;
        options.packs = 3;
        if (*c.fault)
            options.faults.push_back(*ParseSimFault(QString::fromLatin1(c.fault)));
        RegisterSimulatorLink(options);
        // A twin of the bus, fed the same request, tells what went on the wire.
        SimBus twin(options);

        TDevOper op;
        ASSERT_TRUE(op.OpenLink(LinkSettings{QStringLiteral("simulator")}, kPort));
        std::uint16_t version = 0;
        QString name, maker;
        std::uint16_t number1 = 0;
        std::uint8_t number2 = 0;
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        const std::uint8_t result = op.ReadDeviceInfo(kAddress, version, name, maker, number1, number2);

        const std::vector<RTrafficRecord> records = op.Traffic().Since(0);
        ASSERT_EQ(records.size(), 1u);
        const RTrafficRecord& r = records.front();
        EXPECT_EQ(r.result, result);
        EXPECT_EQ(r.reason, c.reason);
        EXPECT_EQ(r.packRtn, c.packRtn);
        EXPECT_EQ(r.Failed(), c.reason != ResultCode::kSuccess);
        EXPECT_EQ(r.address, kAddress);
        EXPECT_EQ(r.CommandName(), QStringLiteral("ReadDeviceInfo"));
        const SimReply reply = twin.respond(r.request);
        EXPECT_EQ(r.request, op.RequestText());
        EXPECT_EQ(r.answer, reply.lead + reply.text);
        EXPECT_EQ(!r.answer.isEmpty(), c.answered);
        EXPECT_GE(r.sentMs, before);
        EXPECT_GE(r.answeredMs, r.sentMs);
        EXPECT_GE(r.elapsedMs, 0);

        const QString line = FormatTrafficLine(r, QStringLiteral("TEXT"));
        EXPECT_TRUE(line.contains(QStringLiteral(" ADR 02 ReadDeviceInfo ")));
        EXPECT_TRUE(line.contains(QStringLiteral(" [TEXT] TX ")));
        EXPECT_TRUE(line.endsWith(QStringLiteral(" RX ") + EscapeWireBytes(r.answer)));
    }
}

TEST(TrafficLog, RingKeepsTheNewestInOrderAndHandsCopiesToTheObserver)
{
    TTrafficLog log(5);
    std::vector<std::uint64_t> observed;
    log.SetObserver([&](const RTrafficRecord& r) { observed.push_back(r.sequence); });
    for (int i = 1; i <= 12; ++i) {
        RTrafficRecord r;
        r.address = std::uint8_t(i);
        r.request = QByteArray(i, 'x');
        log.Add(r);
    }
    EXPECT_EQ(log.Size(), 5u);
    EXPECT_EQ(log.LastSequence(), 12u);
    EXPECT_EQ(observed.size(), 12u);
    std::vector<int> kept;
    for (const RTrafficRecord& r : log.Since(0))
        kept.push_back(r.address);
    EXPECT_EQ(kept, (std::vector<int>{8, 9, 10, 11, 12}));
    const auto tail = log.Since(10);
    ASSERT_EQ(tail.size(), 2u);
    EXPECT_EQ(tail[0].sequence, 11u);
    EXPECT_TRUE(log.Since(12).empty());
    log.Clear();
    EXPECT_TRUE(log.Since(0).empty());
    EXPECT_EQ(log.LastSequence(), 12u);

    EXPECT_EQ(EscapeWireBytes(QByteArray("~A\\\r\n\x00\xFF", 7)), QStringLiteral("~A\\\\\\r\\n\\x00\\xff"));
}

} // namespace
