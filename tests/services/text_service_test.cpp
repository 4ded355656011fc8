#include "services/text_ids.h"
#include "services/text_table.h"
#include "services/textoper.h"

#include <gtest/gtest.h>

namespace {

// Restores the language a test changed, so tests do not depend on order.
class TextServiceTest : public ::testing::Test {
protected:
    void SetUp() override { m_saved = TTextOper::CurrentLanguage(); }
    void TearDown() override { TTextOper().SetLanguage(m_saved); }

    TTextOper m_texts;

private:
    std::uint8_t m_saved = 0;
};

TEST_F(TextServiceTest, TextsFollowTheSelectedLanguage)
{
    m_texts.SetLanguage(TTextOper::SimplifiedChinese);
    EXPECT_EQ(m_texts.GetLanguageText(TextId::kMessageCaption), QStringLiteral("信息提示"));
    EXPECT_EQ(m_texts.GetLanguageText(TextId::kPortNotOpen), QStringLiteral("串口没有打开！"));
    EXPECT_EQ(m_texts.GetLanguageText(0x7011), QStringLiteral("你确定要修改时间吗?"));

    m_texts.SetLanguage(TTextOper::English);
    EXPECT_EQ(m_texts.GetLanguageText(TextId::kMessageCaption), QStringLiteral("Information"));
    EXPECT_EQ(m_texts.GetUnitText(7), QStringLiteral("°C"));

    m_texts.SetLanguage(TTextOper::TraditionalChinese);
    EXPECT_EQ(m_texts.GetLanguageText(TextId::kPortNotOpen), QStringLiteral("串口沒有打開！"));
}

TEST_F(TextServiceTest, EveryInstanceAnswersInTheOneLanguage)
{
    TTextOper other;
    m_texts.SetLanguage(TTextOper::English);
    EXPECT_EQ(other.GetLanguageText(TextId::kOk), QStringLiteral("OK"));
    EXPECT_EQ(TTextOper::CurrentLanguage(), TTextOper::English);
}

TEST_F(TextServiceTest, LanguageThreeOrAboveLeavesThePreviousOneInForce)
{
    m_texts.SetLanguage(TTextOper::English);
    m_texts.SetLanguage(3);
    m_texts.SetLanguage(255);
    EXPECT_EQ(TTextOper::CurrentLanguage(), TTextOper::English);
    EXPECT_EQ(m_texts.GetLanguageText(TextId::kCancel), QStringLiteral("Cancel"));
}

TEST_F(TextServiceTest, UnknownIdsAndCodesGiveEmptyTexts)
{
    m_texts.SetLanguage(TTextOper::SimplifiedChinese);
    EXPECT_TRUE(m_texts.GetLanguageText(0x3511).isEmpty());
    EXPECT_TRUE(m_texts.GetLanguageText(0xFFFF).isEmpty());
    EXPECT_TRUE(m_texts.GetAlarmText(200).isEmpty());
    EXPECT_TRUE(m_texts.GetUnitText(0).isEmpty());
    EXPECT_TRUE(m_texts.GetUnitText(255).isEmpty());
}

TEST_F(TextServiceTest, DefaultTextIsOnlyARecordOfTheChineseWording)
{
    m_texts.SetLanguage(TTextOper::English);
    EXPECT_EQ(m_texts.GetLanguageText(TextId::kOperationSucceeded, QStringLiteral("操作成功！")),
        QStringLiteral("Operation succeeded!"));
    EXPECT_TRUE(m_texts.GetLanguageText(0x3511, QStringLiteral("默认")).isEmpty());
}

TEST_F(TextServiceTest, ErrorTextPutsTheDecimalCodeFirst)
{
    m_texts.SetLanguage(TTextOper::English);
    EXPECT_EQ(m_texts.GetErrorText(0xAF), QStringLiteral("175--No answer from the pack"));
    EXPECT_EQ(m_texts.GetErrorText(2), QStringLiteral("2--Checksum error"));
    // No text for the code: the code and the separator alone.
    EXPECT_EQ(m_texts.GetErrorText(0xEE), QStringLiteral("238--"));
    m_texts.SetLanguage(TTextOper::SimplifiedChinese);
    EXPECT_EQ(m_texts.GetErrorText(0x90), QStringLiteral("144--地址不匹配"));
}

TEST_F(TextServiceTest, AlarmCodesNameTheAlarmOfTheRecord)
{
    m_texts.SetLanguage(TTextOper::SimplifiedChinese);
    EXPECT_EQ(m_texts.GetAlarmText(0), QStringLiteral("无报警"));
    EXPECT_EQ(m_texts.GetAlarmText(7), QStringLiteral("单节过压报警"));
    EXPECT_EQ(m_texts.GetAlarmText(24), QStringLiteral("短路保护"));
}

TEST(TextBuffer, TextIsCutAtTheBufferWithoutSplittingACharacter)
{
    // 199 ASCII bytes, then a three-byte character that would end at byte
    // 202: it does not fit and goes as a whole.
    const QByteArray long1 = QByteArray(199, 'a') + QByteArray("电池");
    EXPECT_EQ(TextFromBuffer(long1, 200), QString(199, QLatin1Char('a')));

    // Exactly 200 bytes fill the buffer and are kept.
    const QByteArray full = QByteArray(197, 'b') + QByteArray("电") + QByteArray("xyz");
    EXPECT_EQ(TextFromBuffer(full, 200), QString(197, QLatin1Char('b')) + QStringLiteral("电"));

    // Units: 10 bytes.
    EXPECT_EQ(TextFromBuffer("0123456789ABC", 10), QStringLiteral("0123456789"));
    EXPECT_EQ(TextFromBuffer("mmmmmmmm℃", 10), QStringLiteral("mmmmmmmm"));
}

TEST(TextBuffer, TextEndsAtTheFirstZeroByteAndIsTrimmed)
{
    EXPECT_EQ(TextFromBuffer(QByteArray("  abc \0def", 10), 200), QStringLiteral("abc"));
    EXPECT_EQ(TextFromBuffer("\t\r\n 电池信息 \x01", 200), QStringLiteral("电池信息"));
    EXPECT_EQ(TrimText(QStringLiteral(" a b ")), QStringLiteral("a b"));
    EXPECT_TRUE(TextFromBuffer("", 200).isEmpty());
}

TEST(TextTableParse, RowsNeedAnIdAndThreeTexts)
{
    QStringList errors;
    const TextTable table = TextTable::Parse("# comment\n"
                                             "0x3500\t信息\tInfo\t資訊\r\n"
                                             "\n"
                                             "12\tA\tB\tC\n"
                                             "0x3501\tonly two\n"
                                             "0x10000\ta\tb\tc\n"
                                             "zz\ta\tb\tc\n"
                                             "12\tagain\tagain\tagain\n",
        &errors);
    EXPECT_EQ(table.size(), 2u);
    EXPECT_EQ(table.text(0x3500, 2), QByteArray("資訊"));
    EXPECT_EQ(table.text(12, 1), QByteArray("B"));
    EXPECT_TRUE(table.text(12, 3).isEmpty());
    ASSERT_EQ(errors.size(), 4);
    EXPECT_TRUE(errors.at(0).startsWith(QStringLiteral("line 5:")));
    EXPECT_TRUE(errors.at(3).startsWith(QStringLiteral("line 8:")));
}

} // namespace
