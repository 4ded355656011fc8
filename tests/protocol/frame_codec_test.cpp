#include "protocol/devoper.h"
#include "protocol/frame.h"

#include <gtest/gtest.h>

namespace {

QByteArray BuildRequest(TDevOper& op, std::uint8_t address, std::uint8_t cid2, QByteArrayView info)
{
    op.BeginFrame(address, 0x46, cid2);
    op.PutLength(int(info.size() * 2));
    for (char b : info)
        op.PutByte(std::uint8_t(b));
    op.PutWord(op.FrameChecksum());
    op.PutEnd();
    op.EncodeRequest();
    return op.RequestText();
}

std::uint8_t Check(QByteArrayView text, std::uint8_t address = 1)
{
    TDevOper op;
    op.SetAnswerText(text);
    return op.CheckAnswer(address);
}

} // namespace

TEST(FrameCodec, LengthFieldCarriesItsCheckNibble)
{
    EXPECT_EQ(frame::LengthField(0), 0x0000);
    EXPECT_EQ(frame::LengthField(2), 0xE002);
    EXPECT_EQ(frame::LengthField(4), 0xC004);
    EXPECT_EQ(frame::LengthField(14), 0x200E);
    EXPECT_EQ(frame::LengthField(62), 0xF03E);
    EXPECT_EQ(frame::LengthField(422), 0xF1A6);
}

TEST(FrameCodec, RequestsMatchTheWorkedExamples)
{
    TDevOper op;
    const char pack = 1;
    EXPECT_EQ(BuildRequest(op, 1, 0x42, QByteArrayView(&pack, 1)), QByteArray("~21014642E00201FD34\r"));
    EXPECT_EQ(op.RequestBytes().toHex(' ').toUpper(), QByteArray("7E 21 01 46 42 E0 02 01 FD 34 0D"));
    EXPECT_EQ(BuildRequest(op, 1, 0x4D, {}), QByteArray("~2101464D0000FD9A\r"));
    // The shared frame builder writes the same text.
    EXPECT_EQ(frame::BuildFrame(1, 0x42, QByteArrayView(&pack, 1)), QByteArray("~21014642E00201FD34\r"));
}

TEST(FrameCodec, EmptyRequestEncodesToNothing)
{
    TDevOper op;
    op.EncodeRequest();
    EXPECT_TRUE(op.RequestText().isEmpty());
}

TEST(FrameCodec, HexDigitsReadOnlyUpperCase)
{
    EXPECT_EQ(frame::HexValue('A'), 10);
    EXPECT_EQ(frame::HexValue('F'), 15);
    EXPECT_EQ(frame::HexValue('a'), 0);
    EXPECT_EQ(frame::HexValue('G'), 0);
    EXPECT_EQ(frame::HexValue('0'), 0);
}

TEST(AnswerCheck, ValidAnswerReturnsItsRtnAndUnpacks)
{
    const QByteArray good = frame::BuildFrame(1, 0x00, QByteArray::fromHex("0102"));
    EXPECT_EQ(Check(good), 0);
    EXPECT_EQ(Check(frame::BuildFrame(1, 0x04, QByteArray::fromHex("0102"))), 0x04);

    TDevOper op;
    op.SetAnswerText(good);
    ASSERT_EQ(op.CheckAnswer(1), 0);
    op.DecodeAnswer();
    const AnswerView answer = op.Answer();
    EXPECT_EQ(answer.count(), 10 + 2);
    EXPECT_EQ(answer.info(0), 0x01);
    EXPECT_EQ(answer.info(1), 0x02);
    EXPECT_EQ(answer.byte(answer.count() - 1), '\r');
    EXPECT_EQ(answer.info(400), 0);  // beyond the answer: zeros
}

TEST(AnswerCheck, NothingAndTooLittle)
{
    EXPECT_EQ(Check(""), ResultCode::kNoAnswer);
    EXPECT_EQ(Check("~2101460000"), ResultCode::kTooShort);
    EXPECT_EQ(Check(QByteArray(30, 'x')), ResultCode::kNoStartCharacter);
}

TEST(AnswerCheck, NoiseBeforeStartCharacterStillValidates)
{
    const QByteArray good = frame::BuildFrame(1, 0x00, QByteArray::fromHex("AABB"));
    EXPECT_EQ(Check("garbage\x01\x7f" + good), 0);
    // Characters after the frame are dropped before the sum is compared.
    EXPECT_EQ(Check(good + "trailing noise"), 0);
}

TEST(AnswerCheck, FrameWithWrongCid1IsSkippedForTheNextOne)
{
    const QByteArray bad = frame::BuildFrameText(1, 0x47, 0x00, frame::HexPairs(QByteArray::fromHex("AABB")));
    const QByteArray good = frame::BuildFrame(1, 0x00, QByteArray::fromHex("CCDD"));
    TDevOper op;
    op.SetAnswerText(bad + good);
    ASSERT_EQ(op.CheckAnswer(1), 0);
    op.DecodeAnswer();
    EXPECT_EQ(op.Answer().info(0), 0xCC);
}

TEST(AnswerCheck, WrongAddressEndsAtOnce)
{
    const QByteArray foreign = frame::BuildFrame(2, 0x00, QByteArray::fromHex("AABB"));
    const QByteArray good = frame::BuildFrame(1, 0x00, QByteArray::fromHex("AABB"));
    EXPECT_EQ(Check(foreign + good), ResultCode::kWrongAddress);
}

TEST(AnswerCheck, DamagedFramesReportTheLastPassCode)
{
    QByteArray withInfo = frame::BuildFrame(1, 0x00, QByteArray::fromHex("AA"));
    withInfo[withInfo.size() - 2] = withInfo[withInfo.size() - 2] == '0' ? '1' : '0';
    EXPECT_EQ(withInfo.size(), 20);
    EXPECT_EQ(Check(withInfo), ResultCode::kNoStartCharacter);

    QByteArray empty = frame::BuildFrame(1, 0x00, {});
    empty[empty.size() - 2] = empty[empty.size() - 2] == '0' ? '1' : '0';
    EXPECT_EQ(Check(empty), ResultCode::kBadChecksum);

    // 18 characters announcing LENID 2: the frame would need 20.
    const QByteArray truncated = frame::BuildFrame(1, 0x00, QByteArray::fromHex("AA")).left(18);
    EXPECT_EQ(Check(truncated), ResultCode::kIncomplete);

    QByteArray badLength = frame::BuildFrame(1, 0x00, QByteArray::fromHex("AA"));
    badLength[9] = 'F';
    EXPECT_EQ(Check(badLength), ResultCode::kBadLengthChecksum);

    QByteArray lowerCase = frame::BuildFrame(1, 0x00, {});
    lowerCase.replace("FD", "fd");
    EXPECT_NE(Check(lowerCase), 0);
}

TEST(AnswerCheck, FrameCompletenessFollowsTheLengthField)
{
    const QByteArray good = frame::BuildFrame(1, 0x00, QByteArray::fromHex("0102"));
    EXPECT_EQ(frame::CompleteFrameEnd(good), good.size());
    EXPECT_EQ(frame::CompleteFrameEnd(good.left(good.size() - 1)), -1);
    EXPECT_EQ(frame::CompleteFrameEnd("xx" + good + "yy"), good.size() + 2);
    frame::ParsedFrame parsed;
    ASSERT_TRUE(frame::ParseFrame("noise" + good, parsed));
    EXPECT_EQ(parsed.address, 1);
    EXPECT_EQ(parsed.info, QByteArray::fromHex("0102"));
}

TEST(AnswerCheck, OversizedAnswerNeverLeavesTheBuffers)
{
    // A frame announcing the largest LENID, padded to 1000 characters.
    QByteArray huge = frame::BuildFrameText(1, 0x46, 0x00, QByteArray(982, 'F'));
    TDevOper op;
    op.SetAnswerText(huge);
    ASSERT_EQ(op.CheckAnswer(1), 0);
    op.DecodeAnswer();
    EXPECT_LE(op.Answer().count(), TDevOper::kAnswerBytes);
}
