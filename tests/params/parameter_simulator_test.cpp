#include "params/parameter_commands.h"
#include "protocol/devoper.h"

#include "lib/sim_link.h"
#include "lib/sim_pack.h"

#include <QSettings>

#include <gtest/gtest.h>

namespace {

// Reading and writing parameters against the simulated packs over the
// in-process link.
class ParametersOnSimulator : public ::testing::Test {
protected:
    static constexpr std::uint8_t kPort = 1;
    static constexpr std::uint8_t kPack = 2;

    void SetUp() override
    {
        RegisterSimulatorLink(SimOptions{});
        ASSERT_TRUE(m_oper.OpenLink(LinkSettings{QString::fromLatin1(kSimulatorDeviceName)}, kPort));
    }

    // The block the pack holds now, as it sends it.
    QByteArray HeldBlock()
    {
        QByteArray block;
        const char info[] = {static_cast<char>(kPack)};
        const std::uint8_t result =
            m_oper.Execute(kPack, CommandId::ReadParameters, QByteArrayView(info, 1), [&block](const AnswerView& answer) {
                for (int k = 0; k < answer.infoCount(); ++k)
                    block.append(static_cast<char>(answer.info(k)));
                return ResultCode::kSuccess;
            });
        EXPECT_EQ(result, ResultCode::kSuccess);
        return block;
    }

    TDevOper m_oper;
    TParameterInfo m_info;
};

} // namespace

TEST_F(ParametersOnSimulator, ASetWrittenBackUnchangedLeavesThePackAsItWas)
{
    const QByteArray factory = SimPack::DefaultParameterBlock(kPack);
    ASSERT_EQ(HeldBlock().toHex(), factory.toHex());

    RParameter set = m_info.NewParameterSet(0);
    ASSERT_EQ(ReadParameters(m_oper, kPack, kPack, set), ResultCode::kSuccess);
    EXPECT_EQ(set.PackNumber, kPack);
    EXPECT_EQ(TParameterInfo::GetParameterInt(1, set), kPack);

    ASSERT_TRUE(WriteParameters(m_oper, kPack, kPack, set, false).ok());
    EXPECT_EQ(HeldBlock().toHex(), factory.toHex());
}

TEST_F(ParametersOnSimulator, AnEditedValueReachesThePackAndRestoreBringsBackTheDefaults)
{
    RParameter set = m_info.NewParameterSet(kPack);
    ASSERT_EQ(ReadParameters(m_oper, kPack, kPack, set), ResultCode::kSuccess);
    TParameterInfo::SetParameterInt(30, 3655, set);
    TParameterInfo::SetParameterFlag(185, !TParameterInfo::GetParameterFlag(185, set), set);
    ASSERT_TRUE(WriteParameters(m_oper, kPack, kPack, set, false).ok());

    RParameter readBack = m_info.NewParameterSet(kPack);
    ASSERT_EQ(ReadParameters(m_oper, kPack, kPack, readBack), ResultCode::kSuccess);
    EXPECT_EQ(readBack, set);

    ASSERT_TRUE(WriteParameters(m_oper, kPack, kPack, readBack, true).ok());
    EXPECT_EQ(HeldBlock().toHex(), SimPack::DefaultParameterBlock(kPack).toHex());
}
