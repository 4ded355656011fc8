// The host's commands against bms-sim through a real pseudo-terminal and
// QSerialPort: what a pack on an RS485 adapter would do, faults included.

#include "protocol/devoper.h"
#include "support/sim_process.h"

#include <QDateTime>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr std::uint8_t kPort = 1;

class SerialRoundTrip : public ::testing::Test {
protected:
    // Starts bms-sim with these arguments and opens COM1 on its terminal.
    void start(const QStringList& arguments = {})
    {
        m_sim = std::make_unique<SimProcess>(arguments);
        ASSERT_TRUE(m_sim->isReady()) << m_sim->error().toStdString();
        ASSERT_TRUE(m_op.OpenLink(m_sim->linkSettings(), kPort)) << m_op.LastOpenError().toStdString();
    }
    void TearDown() override { m_op.CloseSerial(kPort); }
    // For tests of a fault on the next answer: the family guard's probe
    // would take that answer.
    void pinOurs(std::initializer_list<std::uint8_t> addresses)
    {
        for (std::uint8_t address : addresses)
            m_op.PinFamily(address, PackFamily::Ours);
    }

    std::uint8_t readClock(std::uint8_t address, RDeviceTime& time) { return m_op.ReadDateTime(address, time); }

    TDevOper m_op;
    std::unique_ptr<SimProcess> m_sim;
};

QDateTime ToDateTime(const RDeviceTime& time)
{
    return QDateTime(QDate(time.year, time.month, time.day), QTime(time.hour, time.minute, time.second));
}

TEST_F(SerialRoundTrip, CleanExchangeReadsThePackClock)
{
    start();
    RDeviceTime time;
    ASSERT_EQ(readClock(1, time), ResultCode::kSuccess);
    const QDateTime packTime = ToDateTime(time);
    ASSERT_TRUE(packTime.isValid());
    EXPECT_LT(std::abs(packTime.secsTo(QDateTime::currentDateTime())), 120);
    EXPECT_GT(m_op.CharactersReceived(), 0);
}

TEST_F(SerialRoundTrip, PollingCycleCommandsAllSucceed)
{
    start();
    QString barCode;
    EXPECT_EQ(m_op.ReadBarCode(1, 1, barCode), ResultCode::kSuccess);
    EXPECT_FALSE(barCode.isEmpty());

    std::uint16_t version = 0;
    std::uint16_t number1 = 0;
    std::uint8_t number2 = 0;
    QString name;
    QString maker;
    EXPECT_EQ(m_op.ReadDeviceInfo(1, version, name, maker, number1, number2), ResultCode::kSuccess);
    EXPECT_GE(version, 0x0534);

    // Pack 1 answers with the short analog layout, pack 2 with the long one.
    for (std::uint8_t pack : {1, 2}) {
        std::array<RAnalogData, kMaxPacks> analog{};
        std::uint8_t echoed = 0;
        ASSERT_EQ(m_op.ReadAnalogData(pack, pack, echoed, analog), ResultCode::kSuccess);
        EXPECT_EQ(echoed, pack);
        const RAnalogData& record = analog[pack - 1];
        EXPECT_GT(record.cellVoltages[15], 3000);
        EXPECT_GT(record.humidity, 0);
        EXPECT_GT(record.totalVoltage, Decimal::fromInt(48));

        std::array<RAlarmData, kMaxPacks> alarms{};
        EXPECT_EQ(m_op.ReadAlarmData(pack, pack, alarms), ResultCode::kSuccess);
    }

    std::array<RLocationData, kMaxPacks> location{};
    for (std::uint8_t pack = 1; pack <= kMaxPacks; ++pack)
        location[pack - 1].packNumber = pack;
    ASSERT_EQ(m_op.ReadLocationInfo(3, 3, location), ResultCode::kSuccess);
    // The module texts travel as plain characters after the hex pairs.
    EXPECT_EQ(location[2].imei.trimmed(), QStringLiteral("863592041230003"));
    EXPECT_EQ(location[2].ccid.trimmed(), QStringLiteral("89860111234567890003"));
}

TEST_F(SerialRoundTrip, NoiseBeforeStartCharacterStillValidates)
{
    start({QStringLiteral("--fault"), QStringLiteral("noise")});
    for (int i = 0; i < 5; ++i) {
        RDeviceTime time;
        EXPECT_EQ(readClock(1, time), ResultCode::kSuccess);
    }
}

// On a noisy line the read goes on past noise and damaged frames until an
// answer that passes the check arrives, or the window ends.
TEST(SerialNoise, ReadRecoversFromLineNoise)
{
    struct Case {
        const char* name;
        QStringList faults;
        std::uint8_t result;
    };
    const Case cases[] = {
        {"a garbled frame, then the answer", {QStringLiteral("stutter"), QStringLiteral("delay:200")},
         ResultCode::kSuccess},
        {"a glitch, then the answer 300 ms later", {QStringLiteral("glitch"), QStringLiteral("delay:300")},
         ResultCode::kSuccess},
        {"nothing but garbage", {QStringLiteral("garbage")}, ResultCode::kNoStartCharacter},
    };
    const int window = TDevOper::ReplyWindowMs(1, CommandOf(CommandId::ReadDateTime).waitMs);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QStringList arguments;
        for (const QString& fault : c.faults)
            arguments << QStringLiteral("--fault") << fault;
        SimProcess sim(arguments);
        ASSERT_TRUE(sim.isReady()) << sim.error().toStdString();
        TDevOper op;
        ASSERT_TRUE(op.OpenLink(sim.linkSettings(), kPort)) << op.LastOpenError().toStdString();
        op.PinFamily(1, PackFamily::Ours);
        QElapsedTimer timer;
        timer.start();
        RDeviceTime time;
        EXPECT_EQ(op.ReadDateTime(1, time), c.result);
        if (c.result != ResultCode::kSuccess) {
            EXPECT_GE(timer.elapsed(), window);   // the whole window was heard
        }
        op.CloseSerial(kPort);
    }
}

TEST_F(SerialRoundTrip, SilentPackGivesNoAnswerCode)
{
    start({QStringLiteral("--fault"), QStringLiteral("silent:2")});
    pinOurs({1, 2, 5});
    RDeviceTime time;
    EXPECT_EQ(readClock(2, time), ResultCode::kNoAnswer);
    EXPECT_EQ(readClock(5, time), ResultCode::kNoAnswer);   // no such pack on the bus
    EXPECT_EQ(readClock(1, time), ResultCode::kSuccess);
}

TEST_F(SerialRoundTrip, DamagedChecksumGivesItsErrorCode)
{
    start({QStringLiteral("--fault"), QStringLiteral("badsum:1")});
    pinOurs({1});
    // Without INFO the damaged frame is all there is: code 2. With INFO the
    // search goes on past the frame and ends finding no start character.
    RDeviceTime time{2024, 3, 5, 14, 7, 9};
    EXPECT_EQ(m_op.WriteDateTime(1, time), ResultCode::kBadChecksum);
    EXPECT_EQ(readClock(1, time), ResultCode::kNoStartCharacter);
}

TEST_F(SerialRoundTrip, TruncatedAnswerGivesItsErrorCode)
{
    start({QStringLiteral("--fault"), QStringLiteral("truncate:2")});
    pinOurs({1});
    RDeviceTime time;
    EXPECT_EQ(readClock(1, time), ResultCode::kSuccess);
    EXPECT_EQ(readClock(1, time), ResultCode::kTooShort);   // 16 of 32 characters
}

TEST_F(SerialRoundTrip, WrongAddressGivesItsErrorCode)
{
    start({QStringLiteral("--fault"), QStringLiteral("wrongaddr:1")});
    pinOurs({1});
    RDeviceTime time;
    EXPECT_EQ(readClock(1, time), ResultCode::kWrongAddress);
    EXPECT_EQ(time, RDeviceTime{});
}

TEST_F(SerialRoundTrip, PackReturnCodeIsTheResult)
{
    start({QStringLiteral("--fault"), QStringLiteral("rtn:4D:E1")});
    RDeviceTime time;
    EXPECT_EQ(readClock(1, time), 0xE1);
    QString barCode;
    EXPECT_EQ(m_op.ReadBarCode(1, 1, barCode), ResultCode::kSuccess);
}

TEST_F(SerialRoundTrip, WritesAreSeenByLaterReads)
{
    start();
    EXPECT_EQ(m_op.WriteBarCode(2, 2, QStringLiteral("BC-2024-000123")), ResultCode::kSuccess);
    QString barCode;
    EXPECT_EQ(m_op.ReadBarCode(2, 2, barCode), ResultCode::kSuccess);
    EXPECT_EQ(barCode, QStringLiteral("BC-2024-000123"));
    EXPECT_EQ(m_op.ReadBarCode(1, 1, barCode), ResultCode::kSuccess);
    EXPECT_NE(barCode, QStringLiteral("BC-2024-000123"));

    const RDeviceTime written{2024, 3, 5, 14, 7, 9};
    EXPECT_EQ(m_op.WriteDateTime(1, written), ResultCode::kSuccess);
    RDeviceTime time;
    EXPECT_EQ(readClock(1, time), ResultCode::kSuccess);
    EXPECT_LE(ToDateTime(written).secsTo(ToDateTime(time)), 5);
    EXPECT_GE(ToDateTime(written).secsTo(ToDateTime(time)), 0);

    EXPECT_EQ(m_op.WriteCapacity(1, 1, 50000, 48000, 24000), ResultCode::kSuccess);
    std::int32_t design = 0;
    std::int32_t full = 0;
    std::int32_t remaining = 0;
    EXPECT_EQ(m_op.ReadCapacity(1, 1, design, full, remaining), ResultCode::kSuccess);
    EXPECT_EQ(design, 50000);
    EXPECT_EQ(full, 48000);
    EXPECT_EQ(remaining, 24000);

    RProductInfo product{QStringLiteral("Maker"), QStringLiteral("2024-03-05"), QStringLiteral("Module"),
                         QStringLiteral("V1.2"), QStringLiteral("LFP"), QStringLiteral("SN-7"), QStringLiteral("note")};
    EXPECT_EQ(m_op.WriteProductInfo(1, 1, product), ResultCode::kSuccess);
    RProductInfo readBack;
    EXPECT_EQ(m_op.ReadProductInfo(1, 1, readBack), ResultCode::kSuccess);
    EXPECT_EQ(readBack, product);

    const Decimal tenAmps = Decimal::fromInt(10000);
    EXPECT_EQ(m_op.WriteCalibration(1, 1, 2, 22, false, tenAmps, Decimal::fromInt(-5)), ResultCode::kSuccess);
    Decimal first;
    Decimal second;
    EXPECT_EQ(m_op.ReadCalibration(1, 1, 2, 22, first, second), ResultCode::kSuccess);
    EXPECT_EQ(first, tenAmps);
    EXPECT_EQ(second, Decimal::fromInt(-4));   // negative values travel one higher

    std::uint16_t inForce = 0;
    EXPECT_EQ(m_op.WriteFunctionSwitches(1, 1, 0x0061, inForce), ResultCode::kSuccess);
    EXPECT_EQ(inForce, 0x0061);

    std::uint32_t mask = 0x00008001;
    EXPECT_EQ(m_op.AccessBatteryShield(1, 1, true, mask), ResultCode::kSuccess);
    mask = 0;
    EXPECT_EQ(m_op.AccessBatteryShield(1, 1, false, mask), ResultCode::kSuccess);
    EXPECT_EQ(mask, 0x00008001u);

    EXPECT_EQ(m_op.WritePackQuantity(1, 9), ResultCode::kSuccess);
    std::uint8_t packs = 0;
    EXPECT_EQ(m_op.ReadPackQuantity(1, packs), ResultCode::kSuccess);
    EXPECT_EQ(packs, 9);
}

TEST_F(SerialRoundTrip, PortCanBeClosedAndReopenedRepeatedly)
{
    start();
    for (int round = 0; round < 3; ++round) {
        RDeviceTime time;
        EXPECT_EQ(readClock(1, time), ResultCode::kSuccess) << "round " << round;
        m_op.CloseSerial(kPort);
        ASSERT_TRUE(m_op.OpenSerial(kPort)) << m_op.LastOpenError().toStdString();
    }
}

} // namespace
