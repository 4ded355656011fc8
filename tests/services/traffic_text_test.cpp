// The result column of the traffic console and bmstool --trace.

#include "protocol/decimal.h"
#include "protocol/decoders.h"
#include "protocol/frame.h"
#include "services/textoper.h"
#include "services/traffic_text.h"

#include <gtest/gtest.h>

namespace {

class TrafficText : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_saved = TTextOper::CurrentLanguage();
        TTextOper().SetLanguage(TTextOper::English);
    }
    void TearDown() override { TTextOper().SetLanguage(m_saved); }

private:
    std::uint8_t m_saved = 0;
};

// A calibration write of kind 2 with both values as encoded for the wire.
RTrafficRecord CalibrationWrite(Decimal first, Decimal second)
{
    QByteArray info = QByteArray::fromHex("0102 1602");
    for (Decimal value : {first, second}) {
        const std::uint32_t wire = EncodeCalibrationValue(2, value).value();
        for (int shift = 24; shift >= 0; shift -= 8)
            info.append(static_cast<char>((wire >> shift) & 0xFF));
    }
    RTrafficRecord record;
    record.cid2 = 0xEE;
    record.request = frame::BuildFrame(1, 0xEE, info);
    record.givenValues = first.toString() + QStringLiteral(" / ") + second.toString();
    return record;
}

TEST_F(TrafficText, CalibrationWritesShowTheValuesGivenAndTheNumbersSent)
{
    struct Case {
        std::int64_t first;
        std::int64_t second;
        const char* shown;
    };
    for (const Case& c : {Case{-5, 3000, "given -5 / 3000 sent -4 / 3000"}, Case{-1, 0, "given -1 / 0 sent 0 / 0"},
                          Case{7, -250, "given 7 / -250 sent 7 / -249"}}) {
        const QString text = TrafficResultText(CalibrationWrite(Decimal::fromInt(c.first), Decimal::fromInt(c.second)));
        EXPECT_TRUE(text.endsWith(QString::fromLatin1(c.shown))) << text.toStdString();
    }
    // A reset carries no values of the user's.
    RTrafficRecord reset = CalibrationWrite({}, {});
    reset.givenValues.clear();
    EXPECT_FALSE(TrafficResultText(reset).contains(u"given"));
}

TEST_F(TrafficText, AnAnswerOfAnotherCommandSaysSo)
{
    RTrafficRecord record;
    record.cid2 = 0x4D;
    record.result = record.reason = 0x06;
    record.foreignAnswer = true;
    EXPECT_EQ(TrafficResultText(record), QStringLiteral("6--Invalid data (the answer does not fit this command)"));
}

} // namespace
