// Answers carry no command code: an answer to another command (a late one
// from the run before, say) must never be decoded as the one asked for.
// The in-process packs answer each command with another read's answer.

#include "protocol/devoper.h"
#include "sim_link.h"


#include <gtest/gtest.h>

namespace {

constexpr std::uint8_t kPort = 5;
constexpr std::uint8_t kPack = 2;

QByteArray Info(std::initializer_list<int> bytes)
{
    QByteArray info;
    for (int b : bytes)
        info.append(static_cast<char>(b));
    return info;
}

struct Swap {
    CommandId asked;
    QByteArray info;          // the request's INFO
    std::uint8_t answeredBy;  // CID2 of the read whose answer comes back
};

class ForeignAnswers : public ::testing::Test {
protected:
    void SetUp() override
    {
        SimOptions options;
        options.recordsPerLog = 3;
        RegisterSimulatorLink(options);
        ASSERT_TRUE(m_op.OpenLink(LinkSettings(QString::fromLatin1(kSimulatorDeviceName)), kPort))
            << m_op.LastOpenError().toStdString();
    }

    // Runs the command; true in decoded when its decoder saw the answer.
    std::uint8_t Run(const Swap& swap, bool& decoded)
    {
        decoded = false;
        return m_op.Execute(kPack, swap.asked, swap.info, [&decoded](const AnswerView&) {
            decoded = true;
            return ResultCode::kSuccess;
        });
    }

    TDevOper m_op;
};

TEST_F(ForeignAnswers, AnotherCommandsAnswerIsInvalidDataAndNeverDecoded)
{
    const std::vector<Swap> swaps = {
        {CommandId::ReadDateTime, {}, 0xE9},                      // 31-byte bar code for the 7-byte clock
        {CommandId::ReadPackQuantity, {}, 0x4D},                  // the clock for two bytes
        {CommandId::ReadBarCode, Info({kPack}), 0xF1},            // product texts for the bar code
        {CommandId::ReadDeviceInfo, {}, 0xF1},
        {CommandId::ReadCapacity, Info({kPack}), 0xED},           // calibration values for capacities
        {CommandId::ReadDischargeAccumulating, Info({kPack}), 0xED},
        {CommandId::ReadCalibration, Info({kPack, 1, 11}), 0xE9},
        {CommandId::AccessBatteryShield, Info({kPack, 0, 0, 0, 0, 0}), 0xE5},
        {CommandId::ReadParameters, Info({kPack}), 0xF1},
        {CommandId::ReadLocationInfo, Info({kPack}), 0x47},
        {CommandId::ReadAnalogData, Info({kPack}), 0xE9},         // a letter for the cell count
        {CommandId::ReadAnalogData, Info({kPack}), 0x44},
        {CommandId::ReadAlarmData, Info({kPack}), 0x42},          // cell voltages for state counts
        {CommandId::ReadWorkDataRecord, Info({0, kPack}), 0xE9},  // the pack number for an end mark
        {CommandId::ReadAlarmRecord, Info({1, kPack}), 0x42},
        {CommandId::WriteDateTime, Info({0x07, 0xEA, 1, 2, 3, 4, 5}), 0x4D},
        {CommandId::WriteBarCode, Info({kPack}) + QByteArray(30, 'B'), 0xE9},
        {CommandId::WriteCalibration, Info({kPack, 2, 21, 2, 0, 0, 0, 0, 0, 0, 0, 0}), 0xED},
    };
    for (const Swap& swap : swaps) {
        const std::string name = std::string(CommandOf(swap.asked).name) + " answered by "
            + QString::number(swap.answeredBy, 16).toStdString();
        SCOPED_TRACE(name);
        bool decoded = false;
        SharedSimBus()->clearFaults();
        ASSERT_EQ(Run(swap, decoded), ResultCode::kSuccess) << "the command's own answer fits";
        EXPECT_TRUE(decoded || CommandOf(swap.asked).name.starts_with("Write"));

        ASSERT_TRUE(SharedSimBus()->addFault(
            QStringLiteral("answeras:%1").arg(swap.answeredBy, 2, 16, QLatin1Char('0'))));
        const std::uint64_t before = m_op.Traffic().LastSequence();
        EXPECT_EQ(Run(swap, decoded), ResultCode::kInvalidData);
        EXPECT_FALSE(decoded);
        const std::vector<RTrafficRecord> recorded = m_op.Traffic().Since(before);
        ASSERT_EQ(recorded.size(), 1u);
        EXPECT_EQ(recorded.front().result, ResultCode::kInvalidData);
        EXPECT_EQ(recorded.front().reason, ResultCode::kInvalidData);
        EXPECT_TRUE(recorded.front().foreignAnswer);
    }
}

TEST_F(ForeignAnswers, TheCommandsKeepTheirOutputs)
{
    ASSERT_TRUE(SharedSimBus()->addFault(QStringLiteral("answeras:E9")));
    RDeviceTime time{2024, 3, 5, 1, 2, 3};
    EXPECT_EQ(m_op.ReadDateTime(kPack, time), ResultCode::kInvalidData);
    EXPECT_EQ(time, RDeviceTime{});  // cleared before sending, never filled

    std::array<RAnalogData, kMaxPacks> analog{};
    analog[kPack - 1].humidity = 77;
    std::uint8_t echoed = 0;
    EXPECT_EQ(m_op.ReadAnalogData(kPack, kPack, echoed, analog), ResultCode::kInvalidData);
    EXPECT_EQ(analog[kPack - 1].humidity, 77);

    SharedSimBus()->clearFaults();
    ASSERT_TRUE(SharedSimBus()->addFault(QStringLiteral("answeras:42")));
    QString barCode = QStringLiteral("kept");
    EXPECT_EQ(m_op.ReadBarCode(kPack, kPack, barCode), ResultCode::kInvalidData);
    EXPECT_EQ(barCode, QStringLiteral("kept"));
}

} // namespace
