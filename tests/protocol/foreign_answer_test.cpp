// Answers carry no command code: an answer to another command (a late one
// from the run before, say) must never be decoded as the one asked for,
// whether it is shorter or longer than the answer asked for. The in-process
// packs answer each command with every other command's answer in turn.

#include "protocol/answer_length.h"
#include "protocol/devoper.h"
#include "sim_link.h"
#include "sim_pack.h"

#include <gtest/gtest.h>

#include <algorithm>

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

// A request each simulated pack takes, for every command, in catalogue order.
QByteArray RequestOf(CommandId command)
{
    switch (command) {
    case CommandId::ReadWorkDataRecord:
    case CommandId::ReadAlarmRecord:
        return Info({0, kPack});
    case CommandId::WriteParameters:
        return Info({kPack}) + SimPack::DefaultParameterBlock(kPack);
    case CommandId::ReadDateTime:
    case CommandId::ReadDeviceInfo:
    case CommandId::ReadPackQuantity:
        return {};
    case CommandId::WriteDateTime:
        return Info({0x07, 0xEA, 1, 2, 3, 4, 5});
    case CommandId::WriteRecordTime:
        return Info({kPack, 0, 0, 23, 59, 0, 60});
    case CommandId::WriteFunctionSwitches:
        return Info({kPack, 0x01, 0xFF});
    case CommandId::WriteCapacity:
        return Info({kPack, 0x13, 0x88, 0x13, 0x88, 0x0B, 0xB8});
    case CommandId::WriteCycleTime:
        return Info({kPack, 0, 10});
    case CommandId::WritePackQuantity:
        return Info({kPack, 4});
    case CommandId::WriteBarCode:
        return Info({kPack}) + QByteArray(30, 'B');
    case CommandId::WriteDischargeAccumulating:
        return Info({kPack, 0, 0, 0, 10, 0, 0, 0, 10});
    case CommandId::ReadCalibration:
        return Info({kPack, 1, 11});
    case CommandId::WriteCalibration:
        return Info({kPack, 2, 21, 2, 0, 0, 0, 0, 0, 0, 0, 0});
    case CommandId::WriteProductInfo:
        return Info({kPack}) + QByteArray(7 * 30, 'P');
    case CommandId::AccessBatteryShield:
        return Info({kPack, 0, 0, 0, 0, 0});
    default:
        return Info({kPack});
    }
}

// Pairs whose answers nothing tells apart: the answer of `answeredBy` has a
// length the command asked can also have. docs/internals.md lists them.
struct Pair {
    CommandId asked;
    CommandId answeredBy;
};

// Two commands whose answers carry nothing but the result are alike.
bool ResultOnly(CommandId command)
{
    return kAnswerLengths[std::size_t(command)].shape == AnswerShape::ResultOnly;
}

constexpr Pair kAlike[] = {
    // A history read's status-only answer is two bytes, as is the pack
    // count: the pack number reads as a status other than "record follows".
    {CommandId::ReadWorkDataRecord, CommandId::ReadPackQuantity},
    {CommandId::ReadAlarmRecord, CommandId::ReadPackQuantity},
    // The two logs' records share one layout.
    {CommandId::ReadWorkDataRecord, CommandId::ReadAlarmRecord},
    {CommandId::ReadAlarmRecord, CommandId::ReadWorkDataRecord},
    // Seven bytes each, and the clock's answer repeats no pack number.
    {CommandId::ReadDateTime, CommandId::ReadCapacity},
    // The pack number and a switch word whose high byte (0 or 1) counts
    // the cell states that follow: an alarm answer that ends after them.
    {CommandId::ReadAlarmData, CommandId::WriteFunctionSwitches},
};

bool Alike(CommandId asked, CommandId answeredBy)
{
    return (ResultOnly(asked) && ResultOnly(answeredBy))
        || std::any_of(std::begin(kAlike), std::end(kAlike),
                       [&](const Pair& pair) { return pair.asked == asked && pair.answeredBy == answeredBy; });
}

class ForeignAnswers : public ::testing::Test {
protected:
    void SetUp() override
    {
        SimOptions options;
        options.recordsPerLog = 3;
        RegisterSimulatorLink(options);
        ASSERT_TRUE(m_op.OpenLink(LinkSettings(QString::fromLatin1(kSimulatorDeviceName)), kPort))
            << m_op.LastOpenError().toStdString();
        m_op.PinFamily(kPack, PackFamily::Ours);
    }

    // Runs the command; true in decoded when its decoder saw the answer.
    std::uint8_t Run(CommandId asked, bool& decoded)
    {
        decoded = false;
        return m_op.Execute(kPack, asked, RequestOf(asked), [&decoded](const AnswerView&) {
            decoded = true;
            return ResultCode::kSuccess;
        });
    }

    TDevOper m_op;
};

TEST_F(ForeignAnswers, EveryOtherCommandsAnswerIsInvalidDataAndNeverDecoded)
{
    for (const CommandInfo& asked : kCommandCatalogue) {
        SCOPED_TRACE(std::string(asked.name));
        bool decoded = false;
        SharedSimBus()->clearFaults();
        ASSERT_EQ(Run(asked.id, decoded), ResultCode::kSuccess) << "the command's own answer fits";
        EXPECT_TRUE(decoded);

        for (const CommandInfo& answeredBy : kCommandCatalogue) {
            if (answeredBy.id == asked.id || Alike(asked.id, answeredBy.id))
                continue;
            SCOPED_TRACE("answered by " + std::string(answeredBy.name));
            SharedSimBus()->clearFaults();
            ASSERT_TRUE(SharedSimBus()->addFault(
                QStringLiteral("answeras:%1").arg(answeredBy.cid2, 2, 16, QLatin1Char('0'))));
            const std::uint64_t before = m_op.Traffic().LastSequence();
            EXPECT_EQ(Run(asked.id, decoded), ResultCode::kInvalidData);
            EXPECT_FALSE(decoded);
            const std::vector<RTrafficRecord> recorded = m_op.Traffic().Since(before);
            ASSERT_EQ(recorded.size(), 1u);
            EXPECT_EQ(recorded.front().reason, ResultCode::kInvalidData);
            EXPECT_TRUE(recorded.front().foreignAnswer);
        }
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
