// The answer decoders from literal answers, unpacked as a command unpacks
// them.

#include "protocol/decoders.h"
#include "protocol/devoper.h"
#include "protocol/frame.h"
#include "protocol/status_bits.h"
#include "protocol/wire_text.h"

#include <gtest/gtest.h>

#include <type_traits>

#include <functional>
#include <set>
#include <vector>

namespace {

QByteArray Hex(const char* text)
{
    return QByteArray::fromHex(text);
}

// Validates and unpacks a frame text the way Execute does.
AnswerView Unpack(TDevOper& op, const QByteArray& frameText)
{
    op.SetAnswerText(frameText);
    EXPECT_EQ(op.CheckAnswer(1), 0);
    op.DecodeAnswer();
    return op.Answer();
}

AnswerView UnpackInfo(TDevOper& op, const QByteArray& info)
{
    return Unpack(op, frame::BuildFrame(1, 0, info));
}

const QDateTime kNow(QDate(2024, 3, 5), QTime(14, 7, 9));

// The analog example: 4 cells, 2 cell temperatures, layout byte 5.
const char* const kAnalogExample = "01 04 0CE4 0CE5 0CE3 0CE6 04 0041 0042 003F 0044 FF38 0514 2710 05 2710 000A "
                                   "50 64 0005 2D";

Decimal Dec(const char16_t* text)
{
    return *Decimal::parse(QStringView(text));
}

} // namespace

TEST(AnalogDecoding, WorkedExampleGivesEveryField)
{
    TDevOper op;
    RAnalogData record;
    ASSERT_EQ(DecodeAnalogData(UnpackInfo(op, Hex(kAnalogExample)), 1, kNow, record), 0);
    EXPECT_EQ(record.packNumber, 1);
    const std::array<std::uint16_t, kMaxCells> cells{3300, 3301, 3299, 3302};
    EXPECT_EQ(record.cellVoltages, cells);
    EXPECT_EQ(record.cellTemperatures[0], Decimal::fromInt(25));
    EXPECT_EQ(record.cellTemperatures[1], Decimal::fromInt(26));
    EXPECT_EQ(record.cellTemperatures[2], Decimal());
    EXPECT_EQ(record.ambientTemperature, Decimal::fromInt(23));
    EXPECT_EQ(record.fetTemperature, Decimal::fromInt(28));
    EXPECT_EQ(record.current, Decimal::fromInt(-2));
    EXPECT_EQ(record.totalVoltage, Decimal::fromInt(13));
    EXPECT_EQ(record.remainingCapacity, Decimal::fromInt(100));
    EXPECT_EQ(record.fullCapacity, Decimal::fromInt(100));
    EXPECT_EQ(record.cycleCount, 10);
    EXPECT_EQ(record.soc, 80);
    EXPECT_EQ(record.soh, 100);
    const std::array<std::uint8_t, kMaxCells> balancing{1, 0, 1};
    EXPECT_EQ(record.balancing, balancing);
    EXPECT_EQ(record.humidity, 45);
    EXPECT_EQ(record.time, kNow);
}

TEST(AnalogDecoding, ConversionsAreExactAtTheirEdges)
{
    TDevOper op;
    RAnalogData record;
    // N = 2: no cell temperature; raw temperatures 0 and 40; current 0xFFFF;
    // balancing bits in the first byte are cells 9-16.
    const QByteArray two = Hex("01 00 02 0000 0028 FFFF 0001 0001 05 0001 0000 00 00 8001 07");
    ASSERT_EQ(DecodeAnalogData(UnpackInfo(op, two), 1, kNow, record), 0);
    EXPECT_EQ(record.cellTemperatures, (std::array<Decimal, kMaxCellTemperatures>{}));
    EXPECT_EQ(record.ambientTemperature, Decimal::fromInt(-40));
    EXPECT_EQ(record.fetTemperature, Decimal());
    EXPECT_EQ(record.current, Dec(u"-0.01"));
    EXPECT_EQ(record.totalVoltage, Dec(u"0.01"));
    EXPECT_EQ(record.balancing[0], 1);
    EXPECT_EQ(record.balancing[15], 1);
    EXPECT_EQ(record.humidity, 7);

    const QByteArray positive = Hex("01 00 02 0000 0000 7FFF 0000 0000 05 0000 0000 00 00 0000 00");
    ASSERT_EQ(DecodeAnalogData(UnpackInfo(op, positive), 1, kNow, record), 0);
    EXPECT_EQ(record.current, Dec(u"327.67"));
}

TEST(AnalogDecoding, LayoutSixSkipsAByteBeforeHumidity)
{
    TDevOper op;
    RAnalogData five;
    RAnalogData six;
    const QByteArray head = Hex("01 00 02 0000 0000 0000 0000 0000");
    const QByteArray tail = Hex("0000 0000 00 00 0000 11 22");
    ASSERT_EQ(DecodeAnalogData(UnpackInfo(op, head + Hex("05") + tail), 1, kNow, five), 0);
    ASSERT_EQ(DecodeAnalogData(UnpackInfo(op, head + Hex("06") + tail), 1, kNow, six), 0);
    EXPECT_EQ(five.humidity, 0x11);
    EXPECT_EQ(six.humidity, 0x22);
}

TEST(AnalogDecoding, AnswersThatDoNotFitTheRecordAreRejected)
{
    TDevOper op;
    RAnalogData record;
    record.humidity = 77;
    const RAnalogData before = record;

    EXPECT_EQ(DecodeAnalogData(UnpackInfo(op, Hex(kAnalogExample)), 2, kNow, record), ResultCode::kWrongAddress);

    QByteArray manyCells = Hex("01 11");  // 17 cells
    manyCells += QByteArray(17 * 2, '\x0C') + Hex("02 0041 0041 0000 0000 0000 05 0000 0000 00 00 0000 00");
    EXPECT_EQ(DecodeAnalogData(UnpackInfo(op, manyCells), 1, kNow, record), ResultCode::kBadFrame);

    for (const char* temperatures : {"01", "00", "07 0041 0041 0041 0041 0041 0041 0041"}) {
        SCOPED_TRACE(temperatures);
        const QByteArray answer = Hex("01 00") + Hex(temperatures) + Hex("0000 0000 0000 05 0000 0000 00 00 0000 00");
        EXPECT_EQ(DecodeAnalogData(UnpackInfo(op, answer), 1, kNow, record), ResultCode::kBadFrame);
    }
    // A count that ends the answer keeps its limits too.
    for (const char* shortAnswer : {"01 11", "01 00 07", "01 00 01"})
        EXPECT_EQ(DecodeAnalogData(UnpackInfo(op, Hex(shortAnswer)), 1, kNow, record), ResultCode::kBadFrame)
            << shortAnswer;
    EXPECT_EQ(record, before);

    // Sixteen cells and six temperatures are the largest answer that fits.
    const QByteArray largest = Hex("01 10") + QByteArray(32, '\x0C') + Hex("06") + QByteArray(12, '\x41')
        + Hex("0000 0000 0000 05 0000 0000 00 00 0000 00");
    ASSERT_EQ(DecodeAnalogData(UnpackInfo(op, largest), 1, kNow, record), 0);
    EXPECT_EQ(record.cellVoltages[15], 0x0C0C);
    EXPECT_EQ(record.cellTemperatures[3], Decimal::fromInt(0x4141 - 40));
}

// Where each field of an answer ends (INFO bytes needed to carry it) and
// how it reads when it is missing.
template <typename Record>
struct FieldEnd {
    int end;
    std::function<void(Record&)> blank;
};

// Every cut of a full answer decodes with success; each field the cut still
// carries keeps the full answer's value, each one it lacks its blank value,
// never something read from the checksum or the zeros after the answer.
template <typename Record, typename Decode>
void ExpectEveryCutKeepsWhatItCarries(const QByteArray& info, const std::vector<FieldEnd<Record>>& fields,
                                      const Record& start, Decode decode)
{
    TDevOper op;
    Record whole = start;
    ASSERT_TRUE(decode(UnpackInfo(op, info), whole));
    for (int cut = 1; cut < info.size(); ++cut) {
        SCOPED_TRACE(testing::Message() << cut << " INFO bytes");
        Record expected = whole;
        for (const FieldEnd<Record>& field : fields)
            if (field.end > cut)
                field.blank(expected);
        Record part = start;
        ASSERT_TRUE(decode(UnpackInfo(op, info.left(cut)), part));
        // How far an analog answer reached is checked at each field's end
        // through the one exchange; here the values are.
        if constexpr (std::is_same_v<Record, RAnalogData>)
            expected.fieldsSent = part.fieldsSent;
        EXPECT_EQ(part, expected);
    }
}

TEST(AnalogDecoding, AnswerThatStopsAfterTheCellsShowsThemAndBlanksAfter)
{
    TDevOper op;
    RAnalogData record;
    ASSERT_EQ(DecodeAnalogData(UnpackInfo(op, Hex("01 04 0CE4 0CE5 0CE3 0CE6")), 1, kNow, record), 0);
    RAnalogData expected;
    expected.packNumber = 1;
    expected.cellVoltages = {3300, 3301, 3299, 3302};
    expected.time = kNow;
    expected.fieldsSent = 1;   // the cells only: the rest is blank, not zero
    EXPECT_EQ(record, expected) << "temperatures 0, not -40 °C";

    using A = RAnalogData;
    const std::vector<FieldEnd<A>> fields = {
        {4, [](A& r) { r.cellVoltages[0] = 0; }},
        {6, [](A& r) { r.cellVoltages[1] = 0; }},
        {8, [](A& r) { r.cellVoltages[2] = 0; }},
        {10, [](A& r) { r.cellVoltages[3] = 0; }},
        {13, [](A& r) { r.cellTemperatures[0] = Decimal(); }},
        {15, [](A& r) { r.cellTemperatures[1] = Decimal(); }},
        {17, [](A& r) { r.ambientTemperature = Decimal(); }},
        {19, [](A& r) { r.fetTemperature = Decimal(); }},
        {21, [](A& r) { r.current = Decimal(); }},
        {23, [](A& r) { r.totalVoltage = Decimal(); }},
        {25, [](A& r) { r.remainingCapacity = Decimal(); }},
        {28, [](A& r) { r.fullCapacity = Decimal(); }},
        {30, [](A& r) { r.cycleCount = 0; }},
        {31, [](A& r) { r.soc = 0; }},
        {32, [](A& r) { r.soh = 0; }},
        {34, [](A& r) { r.balancing = {}; }},
        {35, [](A& r) { r.humidity = 0; }},
    };
    ExpectEveryCutKeepsWhatItCarries<A>(Hex(kAnalogExample), fields, A{}, [](const AnswerView& answer, A& r) {
        return DecodeAnalogData(answer, 1, kNow, r) == 0;
    });
}

TEST(AlarmDecoding, WorkedExampleSetsStatesAndBits)
{
    TDevOper op;
    RAlarmData record = InitAlarmData(1);
    const QByteArray info = Hex("01 04 00000200 04 00000000 00 00 0000 00 41000000200300000000000000000000");
    ASSERT_TRUE(DecodeAlarmData(UnpackInfo(op, info), 1, record));
    EXPECT_EQ(StatusMark(record.cellStates[2]), QStringLiteral("H"));
    EXPECT_EQ(record.status[0], 0x41);
    EXPECT_EQ(record.status[4], 0x20);
    EXPECT_EQ(record.status[5], 0x03);

    std::set<std::string_view> shown;
    for (const StatusBit& bit : kStatusBits)
        if (IsStatusBitSet(record, bit))
            shown.insert(bit.name);
    EXPECT_EQ(shown, (std::set<std::string_view>{"cell over-voltage alarm", "cell voltage difference alarm",
                                                 "cell temperature low alarm", "discharge FET on",
                                                 "charge FET on"}));
}

TEST(AlarmDecoding, SurplusStatesAreSkippedAndLaterFieldsStayInPlace)
{
    TDevOper op;
    RAlarmData record = InitAlarmData(1);
    // 18 cell states, 6 temperature states.
    QByteArray info = Hex("01 12");
    for (int i = 0; i < 18; ++i)
        info.append(char(i < 16 ? 1 : 2));
    info += Hex("06 02 02 02 02 F0 F0 01 02 8005 00");
    info += Hex("0102030405060708090A0B0C0D0E0F10");
    ASSERT_TRUE(DecodeAlarmData(UnpackInfo(op, info), 1, record));
    EXPECT_EQ(record.cellStates[15], 1);
    EXPECT_EQ(record.temperatureStates, (std::array<std::uint8_t, 4>{2, 2, 2, 2}));
    EXPECT_EQ(record.currentState, 1);
    EXPECT_EQ(record.voltageState, 2);
    EXPECT_EQ(record.shortCircuit, 0x8005);
    EXPECT_EQ(record.status[15], 0x10);

    // No cells and no temperatures are valid too.
    ASSERT_TRUE(DecodeAlarmData(UnpackInfo(op, Hex("01 00 00 01 02 0003 00 AA")), 1, record));
    EXPECT_EQ(record.cellStates, (std::array<std::uint8_t, kMaxCells>{}));
    EXPECT_EQ(record.voltageState, 2);
    EXPECT_EQ(record.shortCircuit, 3);
    EXPECT_EQ(record.status[0], 0xAA);
}

TEST(AlarmDecoding, AnswerWithFewerStatusBytesShowsTheBitsItCarries)
{
    // Four cells, four temperatures, then only six status bytes.
    const QByteArray info = Hex("01 04 01020102 04 02010201 01 02 8005 00 41 02 03 04 20 03");
    TDevOper op;
    RAlarmData record = InitAlarmData(1);
    ASSERT_TRUE(DecodeAlarmData(UnpackInfo(op, info), 1, record));
    EXPECT_EQ(record.status, (std::array<std::uint8_t, kStatusBytes>{0x41, 0x02, 0x03, 0x04, 0x20, 0x03}));
    EXPECT_TRUE(IsStatusBitSet(record, *FindStatusBit(6, 1))) << "charge FET on";

    using R = RAlarmData;
    std::vector<FieldEnd<R>> fields;
    for (int i = 0; i < 4; ++i) {
        fields.push_back({3 + i, [i](R& r) { r.cellStates[i] = 0; }});
        fields.push_back({8 + i, [i](R& r) { r.temperatureStates[i] = 0; }});
    }
    fields.push_back({12, [](R& r) { r.currentState = 0; }});
    fields.push_back({13, [](R& r) { r.voltageState = 0; }});
    fields.push_back({15, [](R& r) { r.shortCircuit = 0; }});
    for (int i = 0; i < kStatusBytes; ++i)
        fields.push_back({17 + i, [i](R& r) { r.status[i] = 0; }});
    const QByteArray full = info + Hex("07 08 09 0A 0B 0C 0D 0E 0F 10");
    ExpectEveryCutKeepsWhatItCarries<R>(full, fields, InitAlarmData(1), [](const AnswerView& answer, R& r) {
        return DecodeAlarmData(answer, 1, r);
    });
}

TEST(AlarmDecoding, StatusMarksNameEachState)
{
    EXPECT_EQ(StatusMark(0), QString());
    EXPECT_EQ(StatusMark(1), QStringLiteral("L"));
    EXPECT_EQ(StatusMark(2), QStringLiteral("H"));
    EXPECT_EQ(StatusMark(240), QStringLiteral("-"));
    EXPECT_EQ(StatusMark(3), QStringLiteral("??"));
}

TEST(AlarmDecoding, StatusBitTableHasOneRowPerShownBit)
{
    std::set<std::pair<int, int>> positions;
    std::set<int> ids;
    for (const StatusBit& bit : kStatusBits) {
        positions.insert({bit.byte, bit.bit});
        ids.insert(bit.textId);
    }
    EXPECT_EQ(positions.size(), kStatusBits.size());
    EXPECT_EQ(ids.size(), kStatusBits.size());
    EXPECT_EQ(FindStatusBit(2, 7)->caption, "短路保护");
    EXPECT_EQ(FindStatusBit(15, 4)->textId, 0x5047);
    EXPECT_EQ(FindStatusBit(8, 0), nullptr);
    EXPECT_EQ(FindStatusBit(15, 5), nullptr);
}

TEST(LocationDecoding, HexPartAndPlainTextsFillTheRecord)
{
    // Station and satellite coordinates all differ, so a swap shows.
    const QByteArray hex = Hex("02 0041 1F 1234 ABCD 06BAB7A0 FE47B4D0 0C 08 06C1A128 02189F00 003039 0168");
    ASSERT_EQ(hex.size(), 31);
    QByteArray imei("860123456789012");
    imei.append(QByteArray(5, '\0'));
    const QByteArray ccid = QByteArray("89860012345678901234").leftJustified(30, ' ');
    TDevOper op;
    RLocationData record;
    const AnswerView answer = Unpack(op, frame::BuildFrameText(1, 0x46, 0, frame::HexPairs(hex) + imei + ccid));
    ASSERT_EQ(answer.text().sliced(75, 15).toByteArray(), QByteArray("860123456789012"));
    ASSERT_TRUE(DecodeLocationData(answer, 2, kNow, record));
    EXPECT_EQ(record.packNumber, 2);
    EXPECT_EQ(record.status, 0x0041);
    EXPECT_EQ(record.signalStrength, 31);
    EXPECT_EQ(record.areaCode, 0x1234);
    EXPECT_EQ(record.cellId, 0xABCD);
    EXPECT_DOUBLE_EQ(record.stationLongitude, 112.9);
    EXPECT_DOUBLE_EQ(record.stationLatitude, -28.855088);
    EXPECT_EQ(record.visibleSatellites, 12);
    EXPECT_EQ(record.usedSatellites, 8);
    EXPECT_DOUBLE_EQ(record.satelliteLongitude, 113.353);
    EXPECT_DOUBLE_EQ(record.satelliteLatitude, 35.168);
    EXPECT_EQ(record.speed, Dec(u"12.345"));
    EXPECT_EQ(record.direction, 360);
    EXPECT_EQ(record.imei, QStringLiteral("860123456789012     "));
    EXPECT_EQ(record.ccid, QString::fromLatin1(ccid));
    EXPECT_EQ(record.time, kNow);

    // Another pack's answer writes nothing.
    RLocationData untouched;
    EXPECT_FALSE(DecodeLocationData(answer, 3, kNow, untouched));
    EXPECT_EQ(untouched, RLocationData{});
}

TEST(LocationDecoding, AnswerWithoutTextsGivesEmptyTextsNotChecksumDigits)
{
    TDevOper op;
    RLocationData record;
    ASSERT_TRUE(DecodeLocationData(UnpackInfo(op, Hex("01") + QByteArray(30, '\0')), 1, kNow, record));
    EXPECT_TRUE(record.imei.isEmpty());
    EXPECT_TRUE(record.ccid.isEmpty());
}

// Selects a code page for one test and the default again afterwards.
class WireEncodingScope {
public:
    explicit WireEncodingScope(const char* name) { EXPECT_TRUE(SetWireEncoding(QString::fromLatin1(name))); }
    ~WireEncodingScope() { SetWireEncoding(QString()); }
};

TEST(TextFields, SentTextsArePaddedAndCutBetweenCharacters)
{
    WireEncodingScope gb18030("GB18030");
    EXPECT_EQ(EncodeTextField(QStringLiteral("AB"), 5), QByteArray("AB   "));
    EXPECT_EQ(EncodeTextField(QStringLiteral("ABCDEFG"), 5), QByteArray("ABCDE"));
    // Two bytes for each of these characters, four for U+20000.
    EXPECT_EQ(EncodeTextField(QStringLiteral("电池"), 3), Hex("B5E7") + " ");
    EXPECT_EQ(EncodeTextField(QString(29, u'A') + QStringLiteral("电"), 30), QByteArray(29, 'A') + " ");
    EXPECT_EQ(EncodeTextField(QString(28, u'A') + QStringLiteral("电"), 30), QByteArray(28, 'A') + Hex("B5E7"));
    const QString fourBytes = QString::fromUcs4(U"\U00020000");
    EXPECT_EQ(EncodeTextField(QString(27, u'A') + fourBytes, 30), QByteArray(27, 'A') + "   ");
    EXPECT_EQ(EncodeTextField(QString(26, u'A') + fourBytes, 30), QByteArray(26, 'A') + Hex("95328236"));
}

TEST(TextFields, ReceivedTextsEndAtZeroAndAreTrimmed)
{
    WireEncodingScope gb18030("GB18030");
    EXPECT_EQ(DecodeTextField(QByteArrayView("\t AB C \r\0XYZ", 12)), QStringLiteral("AB C"));
    EXPECT_EQ(DecodeTextField(QByteArrayView("\0ABC", 4)), QString());
    // GBK bytes, as packs set up on Chinese Windows systems hold them.
    EXPECT_EQ(DecodeTextField(Hex("20 B5E7 B3D8 D7E9 01")), QStringLiteral("电池组"));
}

TEST(TextFields, CodePageComesFromItsSettingAndUnknownNamesKeepTheDefault)
{
    EXPECT_EQ(WireEncoding(), DefaultWireEncoding());
    {
        WireEncodingScope latin("windows-1252");
        EXPECT_EQ(EncodeTextField(QStringLiteral("café"), 5), QByteArray("caf\xE9 "));
        EXPECT_EQ(EncodeTextField(QStringLiteral("电A"), 3), QByteArray("?A ")) << "a character it lacks";
        EXPECT_EQ(DecodeTextField(QByteArrayView("caf\xE9")), QStringLiteral("café"));
    }
    // Unknown names, and code pages that do not keep ASCII as single bytes.
    for (const char* name : {"no-such-code-page", "UTF-16"}) {
        EXPECT_FALSE(SetWireEncoding(QString::fromLatin1(name))) << name;
        EXPECT_EQ(WireEncoding(), DefaultWireEncoding());
    }
}

TEST(CalibrationValues, TravelTruncatedWithNegativesOneHigher)
{
    EXPECT_EQ(EncodeCalibrationValue(3, Dec(u"25.5")), 0x000000FFu);
    EXPECT_EQ(EncodeCalibrationValue(3, Dec(u"25.59")), 255u);
    EXPECT_EQ(EncodeCalibrationValue(3, Dec(u"-2.5")), std::uint32_t(-24));
    EXPECT_EQ(EncodeCalibrationValue(2, Decimal::fromInt(-5)), 0xFFFFFFFCu);
    EXPECT_EQ(EncodeCalibrationValue(1, Dec(u"3300.9")), 3300u);
    EXPECT_EQ(EncodeCalibrationValue(1, Dec(u"-0.5")), 0u);
    EXPECT_EQ(EncodeCalibrationValue(1, Decimal::fromInt(2147483648LL)), std::nullopt);

    EXPECT_EQ(DecodeCalibrationValue(3, 0xFFFFFFFFu), Dec(u"-0.1"));
    EXPECT_EQ(DecodeCalibrationValue(1, 0x80000000u), Decimal::fromInt(-2147483648LL));
}
