// The host's commands against the in-process packs: the device name
// "simulator" picked like a serial port, as bmshost and bmstool offer it.

#include "protocol/devoper.h"
#include "sim_link.h"


#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

constexpr std::uint8_t kPort = 3;

class InProcessRoundTrip : public ::testing::Test {
protected:
    // A fresh bus of `packs` packs, opened as COM3.
    void start(int packs = 4)
    {
        SimOptions options;
        options.packs = packs;
        options.recordsPerLog = 3;
        RegisterSimulatorLink(options);
        open(m_op);
    }
    void open(TDevOper& op)
    {
        ASSERT_TRUE(op.OpenLink(LinkSettings{QStringLiteral("simulator")}, kPort)) << op.LastOpenError().toStdString();
    }

    TDevOper m_op;
};

TEST_F(InProcessRoundTrip, SimulatorDeviceAnswersLikeASerialPack)
{
    start();
    EXPECT_TRUE(m_op.IsSerialOpen(kPort));
    RDeviceTime time;
    EXPECT_EQ(m_op.ReadDateTime(4, time), ResultCode::kSuccess);
    EXPECT_TRUE(QDate(time.year, time.month, time.day).isValid());

    EXPECT_EQ(m_op.WriteBarCode(4, 4, QStringLiteral("IN-PROCESS-4")), ResultCode::kSuccess);
    QString barCode;
    EXPECT_EQ(m_op.ReadBarCode(4, 4, barCode), ResultCode::kSuccess);
    EXPECT_EQ(barCode, QStringLiteral("IN-PROCESS-4"));

    std::uint8_t packs = 0;
    EXPECT_EQ(m_op.ReadPackQuantity(2, packs), ResultCode::kSuccess);
    EXPECT_EQ(packs, 4);
}

TEST_F(InProcessRoundTrip, ChineseTextsTravelAsCodePageBytesAndComeBackWhole)
{
    start();
    const QString maker = QStringLiteral("储能电池有限公司");
    const RProductInfo product{maker, QStringLiteral("2024-03-05"), QStringLiteral("磷酸铁锂模块"),
                               QStringLiteral("V1.2"), QStringLiteral("磷酸铁锂 51.2V 100Ah"),
                               QStringLiteral("SN-7"), maker + maker};
    EXPECT_EQ(m_op.WriteProductInfo(1, 1, product), ResultCode::kSuccess);
    RProductInfo readBack;
    EXPECT_EQ(m_op.ReadProductInfo(1, 1, readBack), ResultCode::kSuccess);
    // The pack keeps the bytes of the default code page (GB18030 here), two
    // for each of these characters, as packs set up in GBK hold them.
    EXPECT_EQ(m_op.AnswerBytes().mid(8, 16), QByteArray::fromHex("B4A2C4DC B5E7B3D8 D3D0CFDE B9ABCBBE"));
    RProductInfo expected = product;
    expected.remark = (maker + maker).left(15);  // 30 bytes hold fifteen of them
    EXPECT_EQ(readBack, expected);

    EXPECT_EQ(m_op.WriteBarCode(2, 2, QStringLiteral("电池-0042")), ResultCode::kSuccess);
    QString barCode;
    EXPECT_EQ(m_op.ReadBarCode(2, 2, barCode), ResultCode::kSuccess);
    EXPECT_EQ(barCode, QStringLiteral("电池-0042"));
}

TEST_F(InProcessRoundTrip, PackBeyondTheBusOrSilencedGivesNoAnswer)
{
    start(2);
    RDeviceTime time;
    EXPECT_EQ(m_op.ReadDateTime(3, time), ResultCode::kNoAnswer);
    ASSERT_TRUE(SharedSimBus()->addFault(QStringLiteral("silent:1")));
    EXPECT_EQ(m_op.ReadDateTime(1, time), ResultCode::kNoAnswer);
    EXPECT_EQ(m_op.ReadDateTime(2, time), ResultCode::kSuccess);
}

TEST_F(InProcessRoundTrip, FaultsAddedAtRunTimeReachTheHost)
{
    start();
    RDeviceTime time;
    ASSERT_TRUE(SharedSimBus()->addFault(QStringLiteral("noise")));
    EXPECT_EQ(m_op.ReadDateTime(1, time), ResultCode::kSuccess);
    ASSERT_TRUE(SharedSimBus()->addFault(QStringLiteral("wrongaddr:1")));
    EXPECT_EQ(m_op.ReadDateTime(1, time), ResultCode::kWrongAddress);
    SharedSimBus()->clearFaults();
    // A late answer beyond the reply window (200 + 500 ms) is no answer.
    ASSERT_TRUE(SharedSimBus()->addFault(QStringLiteral("delay:900")));
    EXPECT_EQ(m_op.ReadDateTime(1, time), ResultCode::kNoAnswer);
}

TEST_F(InProcessRoundTrip, SeveralHostsOnSeveralThreadsShareTheBus)
{
    start();
    constexpr int kThreads = 4;
    std::vector<std::unique_ptr<TDevOper>> hosts;
    for (int i = 0; i < kThreads; ++i) {
        hosts.push_back(std::make_unique<TDevOper>());
        open(*hosts.back());
    }
    std::array<int, kThreads> failures{};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            const auto pack = std::uint8_t(i + 1);
            for (int read = 0; read < 25; ++read) {
                std::array<RAnalogData, kMaxPacks> analog{};
                std::uint8_t echoed = 0;
                if (hosts[std::size_t(i)]->ReadAnalogData(pack, pack, echoed, analog) != ResultCode::kSuccess)
                    ++failures[std::size_t(i)];
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int count : failures)
        EXPECT_EQ(count, 0);
}

} // namespace
