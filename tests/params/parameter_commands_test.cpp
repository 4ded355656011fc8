#include "params/parameter_commands.h"
#include "protocol/devoper.h"
#include "protocol/frame.h"

#include "support/scripted_link.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// The parameter commands over a scripted link that plays back prepared
// answers: a pack that answers in ways the simulated packs never do (an
// empty or short block).
class ParameterCommands : public ::testing::Test {
protected:
    static constexpr std::uint8_t kPort = 9;
    static constexpr std::uint8_t kAddress = 3;

    void SetUp() override
    {
        ASSERT_TRUE(OpenScriptedLink(m_oper, QStringLiteral("params-script"), m_script, kPort));
        // The parameter block is the subject here, not the family guard's probe.
        m_oper.PinFamily(kAddress, PackFamily::Ours);
    }

    void Answer(std::uint8_t rtn, QByteArrayView info)
    {
        m_script->queued.push_back(frame::BuildFrame(kAddress, rtn, info));
    }

    frame::ParsedFrame LastRequest() const
    {
        frame::ParsedFrame parsed;
        EXPECT_FALSE(m_script->requests.isEmpty());
        if (!m_script->requests.isEmpty()) {
            EXPECT_TRUE(frame::ParseFrame(m_script->requests.last(), parsed));
        }
        return parsed;
    }

    static QByteArray SampleBlock()
    {
        QByteArray block(kParameterBlockBytes, '\0');
        for (int i = 0; i < kParameterBlockBytes; ++i)
            block[i] = static_cast<char>((i * 37 + 11) & 0xFF);
        block[161] = static_cast<char>(0x5D);  // only the bits that carry switches
        block[162] = static_cast<char>(0x2A);
        block[164] = static_cast<char>(0x55);
        return block;
    }

    std::shared_ptr<LinkScript> m_script = std::make_shared<LinkScript>();
    TDevOper m_oper;
    TParameterInfo m_info;
};

} // namespace

TEST_F(ParameterCommands, ReadSendsThePackNumberAndDecodesTheBlock)
{
    Answer(0, SampleBlock());
    RParameter set = m_info.NewParameterSet(0);
    ASSERT_EQ(ReadParameters(m_oper, kAddress, 7, set), ResultCode::kSuccess);

    const frame::ParsedFrame request = LastRequest();
    EXPECT_EQ(request.address, kAddress);
    EXPECT_EQ(request.cid2, 0x47);
    EXPECT_EQ(request.info, QByteArray(1, '\x07'));

    RParameter expected = m_info.NewParameterSet(7);
    DecodeParameterBlock(SampleBlock(), expected);
    EXPECT_EQ(set, expected);
}

TEST_F(ParameterCommands, AnAnswerWithoutAWholeBlockIsAFailure)
{
    RParameter set = m_info.NewParameterSet(2);
    TParameterInfo::SetParameterInt(30, 3650, set);
    const RParameter before = set;

    Answer(0, {});
    EXPECT_EQ(ReadParameters(m_oper, kAddress, 2, set), ResultCode::kInvalidData);
    Answer(0, SampleBlock().left(100));
    EXPECT_EQ(ReadParameters(m_oper, kAddress, 5, set), ResultCode::kInvalidData);
    EXPECT_EQ(set, before);

    Answer(0x04, {});
    EXPECT_EQ(ReadParameters(m_oper, kAddress, 2, set), 0x04);
    EXPECT_EQ(ReadParameters(m_oper, kAddress, 2, set), ResultCode::kNoAnswer);
    EXPECT_EQ(set, before);
}

TEST_F(ParameterCommands, WriteSendsTheBlockAndTheRestoreByte)
{
    RParameter set = m_info.NewParameterSet(1);
    TParameterInfo::SetParameterInt(11, 16, set);
    TParameterInfo::SetParameterFlag(185, true, set);
    Answer(0, {});
    const RParameterWriteResult written = WriteParameters(m_oper, kAddress, 1, set, true);
    EXPECT_TRUE(written.ok());
    EXPECT_FALSE(written.rejectedId.has_value());

    const frame::ParsedFrame request = LastRequest();
    EXPECT_EQ(request.cid2, 0x49);
    EXPECT_EQ(request.lenid, 334);
    EXPECT_EQ(request.info.toHex(), EncodeParameterBlock(set, true).toHex());

    Answer(0x06, {});
    EXPECT_EQ(WriteParameters(m_oper, kAddress, 1, set, false).result, 0x06);
}

TEST_F(ParameterCommands, AValueThatDoesNotFitIsRefusedBeforeAnythingIsSent)
{
    RParameter set = m_info.NewParameterSet(1);
    TParameterInfo::SetParameterInt(30, 70000, set);
    TParameterInfo::SetParameterInt(91, 300, set);
    for (bool restore : {false, true}) {
        const RParameterWriteResult refused = WriteParameters(m_oper, kAddress, 1, set, restore);
        EXPECT_EQ(refused.result, kParameterValueRejected);
        ASSERT_TRUE(refused.rejectedId.has_value());
        EXPECT_EQ(*refused.rejectedId, 30);
    }
    EXPECT_TRUE(m_script->requests.isEmpty());
}

TEST_F(ParameterCommands, ASetReadAndWrittenBackSendsTheSameBytes)
{
    Answer(0, SampleBlock());
    RParameter set = m_info.NewParameterSet(4);
    ASSERT_EQ(ReadParameters(m_oper, kAddress, 4, set), ResultCode::kSuccess);
    Answer(0, {});
    ASSERT_TRUE(WriteParameters(m_oper, kAddress, 4, set, false).ok());
    EXPECT_EQ(LastRequest().info.toHex(), (SampleBlock() + QByteArray(1, '\0')).toHex());
}
