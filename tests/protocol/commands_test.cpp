// The pack commands of TDevOper over a scripted link: the request each one
// sends, and what it makes of the answer.

#include "protocol/devoper.h"
#include "protocol/frame.h"

#include "support/scripted_link.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

const QString kDevice = QStringLiteral("scripted-commands");

QByteArray Hex(const char* text)
{
    return QByteArray::fromHex(text);  // spaces are skipped
}

class Commands : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(OpenScriptedLink(m_op, kDevice, m_script));
        // The requests are the subject here, not the family guard's probe.
        m_op.PinFamily(1, PackFamily::Ours);
    }

    // The pack at address 1 answers every request with this RTN and INFO.
    void Answer(const QByteArray& info, std::uint8_t rtn = 0)
    {
        m_script->respond = [answer = frame::BuildFrame(1, rtn, info)](const QByteArray&) { return answer; };
    }

    QByteArray LastRequest() const { return m_script->requests.value(m_script->requests.size() - 1); }

    frame::ParsedFrame Sent() const
    {
        frame::ParsedFrame parsed;
        EXPECT_TRUE(frame::ParseFrame(LastRequest(), parsed)) << LastRequest().constData();
        return parsed;
    }

    std::shared_ptr<LinkScript> m_script = std::make_shared<LinkScript>();
    TDevOper m_op;
};

} // namespace

TEST_F(Commands, EveryCommandSendsItsCodeAndInfo)
{
    struct Row {
        const char* name;
        std::function<std::uint8_t(TDevOper&)> run;
        std::uint8_t cid2;
        const char* info;
    };
    std::uint8_t echoed = 0, packs = 0, number2 = 0;
    std::uint16_t word = 0, number1 = 0;
    std::int32_t a = 0, b = 0, c = 0;
    std::uint32_t mask = 0x00010003;
    QString text, other;
    Decimal x, y;
    RDeviceTime time;
    RProductInfo product;
    std::array<RAnalogData, kMaxPacks> analog{};
    std::array<RAlarmData, kMaxPacks> alarms{};
    std::array<RLocationData, kMaxPacks> locations{};
    const Row rows[] = {
        {"ReadAnalogData", [&](TDevOper& op) { return op.ReadAnalogData(1, 1, echoed, analog); }, 0x42, "01"},
        {"ReadAlarmData", [&](TDevOper& op) { return op.ReadAlarmData(1, 2, alarms); }, 0x44, "02"},
        {"ReadDateTime", [&](TDevOper& op) { return op.ReadDateTime(1, time); }, 0x4D, ""},
        {"WriteDateTime", [&](TDevOper& op) { return op.WriteDateTime(1, RDeviceTime{2024, 3, 5, 14, 7, 9}); },
         0x4E, "07E8 03 05 0E 07 09"},
        {"ReadDeviceInfo", [&](TDevOper& op) { return op.ReadDeviceInfo(1, word, text, other, number1, number2); },
         0x51, ""},
        {"ReadPackQuantity", [&](TDevOper& op) { return op.ReadPackQuantity(1, packs); }, 0x90, ""},
        {"WritePackQuantity", [&](TDevOper& op) { return op.WritePackQuantity(1, 4); }, 0xE8, "01 04"},
        {"WriteRecordTime", [&](TDevOper& op) { return op.WriteRecordTime(1, 1, 8, 30, 17, 45, 600); }, 0xE1,
         "01 08 1E 11 2D 0258"},
        {"WriteFunctionSwitches", [&](TDevOper& op) { return op.WriteFunctionSwitches(1, 1, 0x0161, word); },
         0xE2, "01 0161"},
        {"DeleteAlarmRecords", [&](TDevOper& op) { return op.DeleteAlarmRecords(1, 1); }, 0xE3, "01"},
        {"DeleteWorkData", [&](TDevOper& op) { return op.DeleteWorkData(1, 1); }, 0xE4, "01"},
        {"ReadCapacity", [&](TDevOper& op) { return op.ReadCapacity(1, 1, a, b, c); }, 0xE5, "01"},
        {"WriteCapacity", [&](TDevOper& op) { return op.WriteCapacity(1, 1, 50000, 12345, 9); }, 0xE6,
         "01 1388 04D2 0000"},
        {"WriteCycleTime", [&](TDevOper& op) { return op.WriteCycleTime(1, 1, 300); }, 0xE7, "01 012C"},
        {"ReadBarCode", [&](TDevOper& op) { return op.ReadBarCode(1, 1, text); }, 0xE9, "01"},
        {"ReadDischargeAccumulating", [&](TDevOper& op) { return op.ReadDischargeAccumulating(1, 1, x, y); },
         0xEB, "01"},
        {"WriteDischargeAccumulating",
         [&](TDevOper& op) {
             return op.WriteDischargeAccumulating(1, 1, *Decimal::parse(u"12.37"), *Decimal::parse(u"4.567"));
         },
         0xEC, "01 0000007B 000001C8"},
        {"ReadCalibration", [&](TDevOper& op) { return op.ReadCalibration(1, 1, 2, 22, x, y); }, 0xED, "01 02 16"},
        {"WriteCalibration temperature",
         [&](TDevOper& op) { return op.WriteCalibration(1, 1, 3, 5, false, *Decimal::parse(u"25.5"), {}); }, 0xEE,
         "01 03 05 02 000000FF 00000000"},
        {"WriteCalibration current",
         [&](TDevOper& op) {
             return op.WriteCalibration(1, 1, 2, 21, false, Decimal::fromInt(-5), Decimal::fromInt(1500));
         },
         0xEE, "01 02 15 02 FFFFFFFC 000005DC"},
        {"WriteCalibration reset",
         [&](TDevOper& op) { return op.WriteCalibration(1, 1, 1, 12, true, Decimal::fromInt(7), {}); }, 0xEE,
         "01 01 0C 01 00000000 00000000"},
        {"EnterSleep", [&](TDevOper& op) { return op.EnterSleep(1, 1); }, 0xEF, "01"},
        {"ReadProductInfo", [&](TDevOper& op) { return op.ReadProductInfo(1, 1, product); }, 0xF1, "01"},
        {"ReadLocationInfo", [&](TDevOper& op) { return op.ReadLocationInfo(1, 3, locations); }, 0xF3, "03"},
        {"AccessBatteryShield write", [&](TDevOper& op) { return op.AccessBatteryShield(1, 1, true, mask); },
         0xF7, "01 01 00010003"},
        {"AccessBatteryShield read", [&](TDevOper& op) { return op.AccessBatteryShield(1, 1, false, mask); },
         0xF7, "01 00 00000000"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        // An empty answer: only the request matters here.
        Answer({});
        row.run(m_op);
        const frame::ParsedFrame sent = Sent();
        EXPECT_EQ(sent.address, 1);
        EXPECT_EQ(sent.cid1, 0x46);
        EXPECT_EQ(sent.cid2, row.cid2);
        EXPECT_EQ(sent.info.toHex().toUpper(), Hex(row.info).toHex().toUpper());
    }
}

TEST_F(Commands, WriteDateTimeSendsSevenBytesUnderLength200E)
{
    Answer({});
    ASSERT_EQ(m_op.WriteDateTime(1, RDeviceTime{2024, 3, 5, 14, 7, 9}), 0);
    EXPECT_EQ(LastRequest().mid(9, 4), QByteArray("200E"));
    EXPECT_EQ(Sent().info, Hex("07E8 03 05 0E 07 09"));
}

TEST_F(Commands, TextsArePaddedOrCutToTheirField)
{
    Answer({});
    ASSERT_EQ(m_op.WriteBarCode(1, 1, QStringLiteral("ABC123456789")), 0);
    EXPECT_EQ(Sent().info, QByteArray("\x01") + "ABC123456789" + QByteArray(18, ' '));
    ASSERT_EQ(m_op.WriteBarCode(1, 1, QString(35, u'7')), 0);
    EXPECT_EQ(Sent().info, QByteArray("\x01") + QByteArray(30, '7'));

    RProductInfo product;
    product.companyName = QStringLiteral("电池公司");
    product.remark = QStringLiteral("x");
    ASSERT_EQ(m_op.WriteProductInfo(1, 2, product), 0);
    EXPECT_EQ(LastRequest().mid(9, 4), QByteArray("F1A6"));  // LENID 422
    EXPECT_EQ(Sent().info.mid(1, 30), Hex("B5E7 B3D8 B9AB CBBE") + QByteArray(22, ' '));  // GB18030
    EXPECT_EQ(Sent().info.right(30), "x" + QByteArray(29, ' '));
}

TEST_F(Commands, ReadsDecodeTheirAnswers)
{
    RDeviceTime time;
    Answer(Hex("07E8 03 05 0E 07 09"));
    ASSERT_EQ(m_op.ReadDateTime(1, time), 0);
    EXPECT_EQ(time, (RDeviceTime{2024, 3, 5, 14, 7, 9}));

    std::int32_t design = 0, full = 0, remaining = 0;
    Answer(Hex("01 1388 04D2 0001"));
    ASSERT_EQ(m_op.ReadCapacity(1, 1, design, full, remaining), 0);
    EXPECT_EQ(design, 50000);
    EXPECT_EQ(full, 12340);
    EXPECT_EQ(remaining, 10);

    Decimal capacity, energy;
    Answer(Hex("01 000186A0 00000D05"));
    ASSERT_EQ(m_op.ReadDischargeAccumulating(1, 1, capacity, energy), 0);
    EXPECT_EQ(capacity, Decimal::fromInt(10000));
    EXPECT_EQ(energy.toString(), QStringLiteral("33.33"));

    std::uint16_t inForce = 7;
    Answer(Hex("01 0060"));
    ASSERT_EQ(m_op.WriteFunctionSwitches(1, 1, 0x0061, inForce), 0);
    EXPECT_EQ(inForce, 0x0060);

    QString code;
    Answer(Hex("01") + QByteArray("  PACK-0042\t") + QByteArray(18, '\0'));
    ASSERT_EQ(m_op.ReadBarCode(1, 1, code), 0);
    EXPECT_EQ(code, QStringLiteral("PACK-0042"));

    std::uint16_t version = 0, number1 = 0;
    std::uint8_t number2 = 0;
    QString name, maker;
    Answer(QByteArray("BMS-16S\x01\x02\x03") + Hex("0534") + QByteArray("Maker") + QByteArray(15, ' '));
    ASSERT_EQ(m_op.ReadDeviceInfo(1, version, name, maker, number1, number2), 0);
    EXPECT_EQ(version, 0x0534);
    EXPECT_EQ(name, QStringLiteral("BMS-16S"));
    EXPECT_EQ(maker, QStringLiteral("Maker"));
    EXPECT_EQ(number1, 0x0103);
    EXPECT_EQ(number2, 0x02);

    RProductInfo product;
    QByteArray texts = Hex("01");
    for (const char* field : {"Co", "2024-03-05", "M1", "V1.2", "LFP", "SN9", "  note  "})
        texts += QByteArray(field).leftJustified(30, '\0');
    Answer(texts);
    ASSERT_EQ(m_op.ReadProductInfo(1, 1, product), 0);
    EXPECT_EQ(product.productionDate, QStringLiteral("2024-03-05"));
    EXPECT_EQ(product.serialNumber, QStringLiteral("SN9"));
    EXPECT_EQ(product.remark, QStringLiteral("note"));
}

TEST_F(Commands, CalibrationReadsOnlyTheItemAsked)
{
    Decimal first = Decimal::fromInt(9), second = Decimal::fromInt(9);
    Answer(Hex("01 03 02 000000FF FFFFFFF6"));
    ASSERT_EQ(m_op.ReadCalibration(1, 1, 3, 2, first, second), 0);
    EXPECT_EQ(first.toString(), QStringLiteral("25.5"));
    EXPECT_EQ(second, Decimal::fromInt(-1));

    // An answer for another item: the first value was cleared before
    // sending, the second keeps its value.
    Answer(Hex("01 03 04 000000FF 000000FF"));
    ASSERT_EQ(m_op.ReadCalibration(1, 1, 3, 2, first, second), 0);
    EXPECT_EQ(first, Decimal());
    EXPECT_EQ(second, Decimal::fromInt(-1));

    Answer(Hex("01 02 16 FFFFFFFB 00000BB8"));
    ASSERT_EQ(m_op.ReadCalibration(1, 1, 2, 22, first, second), 0);
    EXPECT_EQ(first, Decimal::fromInt(-5));
    EXPECT_EQ(second, Decimal::fromInt(3000));
}

TEST_F(Commands, ShortFixedAnswersAreInvalidDataWithOutputsUnchanged)
{
    // A fixed answer one byte short is another command's answer, or a broken
    // one: never decoded, never a success.
    QString code = QStringLiteral("kept");
    Answer(Hex("01") + QByteArray(29, 'A'));
    EXPECT_EQ(m_op.ReadBarCode(1, 1, code), ResultCode::kInvalidData);
    EXPECT_EQ(code, QStringLiteral("kept"));

    RProductInfo product;
    product.remark = QStringLiteral("kept");
    Answer(Hex("01") + QByteArray(150, 'A'));
    EXPECT_EQ(m_op.ReadProductInfo(1, 1, product), ResultCode::kInvalidData);
    EXPECT_EQ(product.remark, QStringLiteral("kept"));

    std::uint32_t mask = 5;
    Answer(Hex("01 00 000000"));
    EXPECT_EQ(m_op.AccessBatteryShield(1, 1, false, mask), ResultCode::kInvalidData);
    EXPECT_EQ(mask, 5u);
    // A full answer whose INFO 1 is not 0 reports no mask either.
    Answer(Hex("01 01 0000FFFF"));
    EXPECT_EQ(m_op.AccessBatteryShield(1, 1, false, mask), 0);
    EXPECT_EQ(mask, 5u);
    Answer(Hex("01 00 0000FFFF"));
    EXPECT_EQ(m_op.AccessBatteryShield(1, 1, false, mask), 0);
    EXPECT_EQ(mask, 0xFFFFu);
    // The same length for another pack is not this pack's answer.
    Answer(Hex("02 00 0000FFFF"));
    EXPECT_EQ(m_op.AccessBatteryShield(1, 1, false, mask), ResultCode::kInvalidData);
}

TEST_F(Commands, FailuresLeaveOutputsAsTheCommandSetThem)
{
    // The pack's own error code comes back unchanged; outputs cleared before
    // sending stay cleared.
    std::int32_t design = 1, full = 1, remaining = 1;
    Answer(Hex("01 1388 1388 1388"), 0x04);
    EXPECT_EQ(m_op.ReadCapacity(1, 1, design, full, remaining), 0x04);
    EXPECT_EQ(design + full + remaining, 0);

    std::uint8_t packs = 9;
    Answer(Hex("02 05"));  // echoes another address
    EXPECT_EQ(m_op.ReadPackQuantity(1, packs), ResultCode::kWrongAddress);
    EXPECT_EQ(packs, 9);
    Answer(Hex("01 05"));
    EXPECT_EQ(m_op.ReadPackQuantity(1, packs), 0);
    EXPECT_EQ(packs, 5);

    m_script->respond = nullptr;
    QString code = QStringLiteral("kept");
    EXPECT_EQ(m_op.ReadBarCode(1, 1, code), ResultCode::kNoAnswer);
    EXPECT_EQ(code, QStringLiteral("kept"));
}

TEST_F(Commands, ValuesThatCannotTravelAreRefusedUnsent)
{
    std::uint8_t echoed = 0;
    std::array<RAnalogData, kMaxPacks> analog{};
    std::array<RLocationData, kMaxPacks> locations{};
    EXPECT_EQ(m_op.ReadAnalogData(1, 0, echoed, analog), ResultCode::kValueRejected);
    EXPECT_EQ(m_op.ReadLocationInfo(1, 17, locations), ResultCode::kValueRejected);
    EXPECT_EQ(m_op.WriteCalibration(1, 1, 1, 11, false, Decimal::fromInt(3'000'000'000LL), {}),
              ResultCode::kValueRejected);
    EXPECT_EQ(m_op.WriteDischargeAccumulating(1, 1, Decimal::fromInt(500'000'000), {}), ResultCode::kValueRejected);
    EXPECT_EQ(m_script->requests.size(), 0);
}

TEST_F(Commands, AnalogAnswerFillsOnlyTheRequestedElement)
{
    std::array<RAnalogData, kMaxPacks> records{};
    records[2].humidity = 99;
    std::uint8_t echoed = 0;
    Answer(Hex("03 01 0CE4 02 0041 0042 0000 0514 2710 05 2710 000A 50 64 0001 2D"));
    ASSERT_EQ(m_op.ReadAnalogData(1, 3, echoed, records), 0);
    EXPECT_EQ(echoed, 3);
    EXPECT_EQ(records[2].packNumber, 3);
    EXPECT_EQ(records[2].cellVoltages[0], 3300);
    EXPECT_EQ(records[2].humidity, 45);
    EXPECT_EQ(records[0], RAnalogData{});

    // The pack echoes another number: 0x90 and the record stays.
    const RAnalogData before = records[2];
    echoed = 0;
    Answer(Hex("04 01 0CE4 02 0041 0042 0000 0514 2710 05 2710 000A 50 64 0001 2D"));
    EXPECT_EQ(m_op.ReadAnalogData(1, 3, echoed, records), ResultCode::kWrongAddress);
    EXPECT_EQ(records[2], before);
    EXPECT_EQ(echoed, 0);
}

TEST_F(Commands, AlarmAnswerForAnotherPackLeavesThePreparedRecord)
{
    std::array<RAlarmData, kMaxPacks> records{};
    records[0] = InitAlarmData(1);
    const RAlarmData blank = records[0];
    Answer(Hex("02 01 02 00 00 00 0000 00 FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF"));
    EXPECT_EQ(m_op.ReadAlarmData(1, 1, records), 0);
    EXPECT_EQ(records[0], blank);

    Answer(Hex("01 01 02 00 00 00 0000 00 FF 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"));
    EXPECT_EQ(m_op.ReadAlarmData(1, 1, records), 0);
    EXPECT_EQ(records[0].cellStates[0], 2);
    EXPECT_EQ(records[0].status[0], 0xFF);
    EXPECT_EQ(records[0].time, blank.time);
}

TEST_F(Commands, AnswersEndingBeforeTheirFieldsAreRefusedNotMisread)
{
    // A frame that checks out but stops short: the fields it lacks would be
    // read from the checksum digits. (The live answers fill what they carry
    // instead, below.)
    RDeviceTime time;
    Answer(Hex("07 E8 03"));
    EXPECT_EQ(m_op.ReadDateTime(1, time), ResultCode::kInvalidData);
    EXPECT_EQ(time, RDeviceTime{});

    std::int32_t design = 1, full = 1, remaining = 1;
    Answer(Hex("01 1388"));
    EXPECT_EQ(m_op.ReadCapacity(1, 1, design, full, remaining), ResultCode::kInvalidData);
    EXPECT_EQ(design + full + remaining, 0);
}

// A live answer may end after the cells or after any later field its own
// counts place (older firmware stops early): it is decoded with blanks after.
// An end inside a field is no layout a pack sends.
TEST_F(Commands, ShortLiveAnswersEndingAtAFieldAreDecodedWithBlanksAfter)
{
    // The worked example: 4 cells, 2 cell temperatures, layout 5, 35 bytes.
    const QByteArray analog = Hex("01 04 0CE4 0CE5 0CE3 0CE6 04 0041 0042 003F 0044 FF38 0514 2710 05 2710 000A "
                                  "50 64 0005 2D");
    struct AnalogCase {
        int bytes;
        std::uint8_t result;
        std::uint16_t cell4;
        int t2;
        int volts;
        int humidity;
        int fieldsSent;   // what the record says was sent: the rest is blank, not zero
    } analogCases[] = {
        {10, 0, 3302, 0, 0, 0, 1},    // after the cells
        {11, 0, 3302, 0, 0, 0, 1},    // after the temperature count
        {15, 0, 3302, 26, 0, 0, 2},   // after the cell temperatures
        {23, 0, 3302, 26, 13, 0, 6},  // after the pack voltage
        {35, 0, 3302, 26, 13, 45, kAnalogFields},
        {9, ResultCode::kInvalidData, 0, 0, 0, 0, kAnalogFields},   // inside the cells
        {16, ResultCode::kInvalidData, 0, 0, 0, 0, kAnalogFields},  // inside the ambient temperature
        {33, ResultCode::kInvalidData, 0, 0, 0, 0, kAnalogFields},  // inside the balancing word
    };
    for (const AnalogCase& c : analogCases) {
        SCOPED_TRACE(c.bytes);
        std::array<RAnalogData, kMaxPacks> records{};
        std::uint8_t echoed = 0;
        Answer(analog.left(c.bytes));
        ASSERT_EQ(m_op.ReadAnalogData(1, 1, echoed, records), c.result);
        EXPECT_EQ(records[0].cellVoltages[3], c.cell4);
        EXPECT_EQ(records[0].cellTemperatures[1], Decimal::fromInt(c.t2));
        EXPECT_EQ(records[0].totalVoltage, Decimal::fromInt(c.volts));
        EXPECT_EQ(records[0].humidity, c.humidity);
        EXPECT_EQ(records[0].fieldsSent, c.fieldsSent);
    }
    // Newer firmware may append fields after the humidity.
    std::array<RAnalogData, kMaxPacks> records{};
    std::uint8_t echoed = 0;
    Answer(analog + Hex("77"));
    EXPECT_EQ(m_op.ReadAnalogData(1, 1, echoed, records), 0);

    // A history record's status 0 is no pack number: no pack's live answer.
    Answer(Hex("00") + analog.mid(1));
    EXPECT_EQ(m_op.ReadAnalogData(1, 1, echoed, records), ResultCode::kInvalidData);

    // The alarm example: 4 cell states, 4 temperature states, 32 bytes.
    const QByteArray alarm = Hex("01 04 00000200 04 00000000 00 00 0000 00 41000000200300000000000000000000");
    struct AlarmCase {
        int bytes;
        std::uint8_t cell3;
        std::uint8_t status1;
        std::uint8_t status6;
        bool decoded;
    } alarmCases[] = {
        {6, 2, 0, 0, true},        // after the cell states
        {13, 2, 0, 0, true},       // after the voltage state
        {16, 2, 0, 0, true},       // after the unused byte
        {32, 2, 0x41, 0x03, true},
        {4, 0, 0, 0, false},       // inside the cell states
        {9, 0, 0, 0, false},       // inside the temperature states
        {14, 0, 0, 0, false},      // inside the short-circuit word
        {22, 0, 0, 0, false},      // inside the status bytes, which travel as one field
    };
    for (const AlarmCase& c : alarmCases) {
        SCOPED_TRACE(c.bytes);
        std::array<RAlarmData, kMaxPacks> alarms{};
        Answer(alarm.left(c.bytes));
        ASSERT_EQ(m_op.ReadAlarmData(1, 1, alarms), c.decoded ? ResultCode::kSuccess : ResultCode::kInvalidData);
        EXPECT_EQ(alarms[0].cellStates[2], c.cell3);
        EXPECT_EQ(alarms[0].status[0], c.status1);
        EXPECT_EQ(alarms[0].status[5], c.status6);
    }
}
