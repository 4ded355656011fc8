// Other makers' answers, written byte by byte from their layouts, decoded
// into our records.

#include "protocol/family_decoders.h"
#include "protocol/result_codes.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <vector>

namespace {

// An answer unpacked as the exchange leaves it: "~", VER, ADR, CID1, RTN,
// LENGTH, INFO, CHKSUM, CR. The decoders read neither LENGTH nor CHKSUM.
struct Answer {
    Answer(int version, int address, int cid1, const QByteArray& infoHex, int rtn = 0)
        : bytes{'~', std::uint8_t(version), std::uint8_t(address), std::uint8_t(cid1), std::uint8_t(rtn), 0, 0}
    {
        const QByteArray info = QByteArray::fromHex(infoHex);
        bytes.insert(bytes.end(), info.begin(), info.end());
        bytes.insert(bytes.end(), {0, 0, '\r'});
    }
    AnswerView view() const { return AnswerView(bytes.data(), int(bytes.size())); }
    std::vector<std::uint8_t> bytes;
};

Answer AnswerA(const QByteArray& info) { return Answer(0x20, 0x02, 0x46, info); }
Answer AnswerB(const QByteArray& info) { return Answer(0x20, 0x05, 0x46, info); }
Answer AnswerC(const QByteArray& info) { return Answer(0x20, 0x03, 0x4A, info); }
Answer AnswerD(const QByteArray& info) { return Answer(0x25, 0x01, 0x46, info); }

template <typename T>
std::optional<Decimal> Whole(std::optional<T> value)
{
    return value ? std::optional<Decimal>(Decimal::fromInt(*value)) : std::nullopt;
}

// The record as one line: cells, temperatures with their roles | the shared
// cell temperatures, then every other value the record holds, by name.
QString Summary(const RAnalogData& r)
{
    const RFamilyAnalog& x = r.extra;
    QStringList s;
    for (int i = 0; i < x.cellCount; ++i)
        s << QString::number(r.cellVoltages[i]);
    for (int i = 0; i < x.temperatureCount; ++i)
        s << TemperatureRoleName(x.temperatureRoles[i]) + ':' + x.temperatures[i].toString();
    s << "|";
    for (Decimal celsius : r.cellTemperatures)
        s << celsius.toString();
    const std::pair<const char*, std::optional<Decimal>> values[] = {
        {"amb", r.ambientTemperature}, {"fet", r.fetTemperature}, {"A", r.current}, {"V", r.totalVoltage},
        {"Ah", r.remainingCapacity}, {"of", r.fullCapacity}, {"cycles", Whole<int>(r.cycleCount)},
        {"soc", StateOfCharge(r)}, {"soh", StateOfHealth(r)}, {"design", x.designCapacity}, {"port", x.portVoltage},
        {"hottest", x.highestCellTemperature}, {"coldest", x.lowestCellTemperature}, {"inAh", x.chargedAh},
        {"outAh", x.dischargedAh}, {"inKwh", x.chargedKwh}, {"outKwh", x.dischargedKwh},
        {"inHours", Whole(x.chargingHours)}, {"outHours", Whole(x.dischargingHours)}, {"charges", Whole(x.charges)},
        {"discharges", Whole(x.discharges)}};
    for (const auto& [name, value] : values)
        if (value)
            s << QString(name) + ' ' + value->toString();
    return s.join(' ');
}

// First four cell states | every temperature state | the shared four |
// current, voltage, discharge current | status bytes [cell faults], in hex.
QString Summary(const RAlarmData& r)
{
    const RFamilyAlarm& x = r.extra;
    QStringList s;
    const auto hex = [&s](const auto& values, int count) {
        for (int i = 0; i < count; ++i)
            s << QString::number(values[i], 16);
        s << "|";
    };
    hex(r.cellStates, 4);
    hex(x.temperatureStates, x.temperatureCount);
    hex(r.temperatureStates, 4);
    hex(std::array<int, 3>{r.currentState, r.voltageState, x.dischargeCurrentState ? *x.dischargeCurrentState : -1}, 3);
    hex(x.status, x.statusCount);
    if (x.cellFaults)
        s << QString::number(*x.cellFaults, 16);
    return s.join(' ');
}

// One answer of a family's pack and its record as Summary writes it.
struct Row {
    const char* name;
    PackFamily family;
    Answer answer;
    std::uint8_t address;
    QString expected;
    RFamilySettings settings = {};
};

} // namespace

TEST(FamilyDecoding, LiveValuesOfEachFamilyComeOutExactAndInOurUnits)
{
    const char* a = "00 02 02 0CE4 0CE5 03 0BA5 0B9B 0AAB FF9C 0CE9 2710 02 4E20 0005";
    const QString aHead = "3300 3301 board:25 cell:24 cell:0 | 24 0 0 0 amb 0 fet 0 A ";
    const QByteArray b = "00 05 10" + QByteArray("0CE4").repeated(15) + "0CE5 06 0B9B 0BA5 0BAF 0BB9 0B91 0BC3 "
                         "07D0 14B4 2710 0A 2710 0371 2AF8 0064 03E7 14B5 0000 0000 0000 0000";
    const char* c = "00 01 02 0CE4 0CE5 02 0B9B 0BA5 0B91 0BC3 0000 0A5A 1388 2710 000C 0F 0032 0063 0CE5 "
                    "0CE4 0001 0BA5 0B9B 000186A0 0000C350 0000C350 00006590 00000064 000000C8 0014 0015";
    const QByteArray dHead = "00 01 02 0CE4 0CE5 04 0B9A 0BA4 0BAE 0B90 FF38 1A0A 1388";
    const QByteArray d = dHead + "03 2710 0007 2AF8";
    const QString dValues = " A -2 V 6.666 Ah 50 of 100 cycles 7 design 110";
    const QString dLastTwo = "3300 3301 cell:24 cell:25 mosfet:26 ambient:23 | 24 25 0 0 amb 23 fet 26" + dValues;
    const Row rows[] = {
        {"A, P 2", PackFamily::A, AnswerA(a), 2, aHead + "-10 V 3.305 Ah 10 of 20 cycles 5"},
        {"A, current in 10 mA", PackFamily::A, AnswerA(a), 2, aHead + "-1 V 3.305 Ah 10 of 20 cycles 5",
         RFamilySettings{10, true}},
        {"A, P 4, lowest current, frost", PackFamily::A, AnswerA("00 02 01 FFFF 02 0A0D 0A0D 8000 FFFF FFFF 04 FFFF "
         "0001 0186A0 01D4C0"), 2, "65535 board:-15.8 cell:-15.8 | -15.8 0 0 0 amb 0 fet 0 A -3276.8 V 65.535 "
         "Ah 100 of 120 cycles 1"},
        {"B, 16 cells", PackFamily::B, AnswerB(b), 5, QString("3300 ").repeated(15) + "3301 cell:24 cell:25 cell:26 "
         "cell:27 ambient:23 mosfet:28 | 24 25 26 27 amb 23 fet 28 A 20 V 53 Ah 100 of 100 cycles 100 soc 88.1 "
         "soh 99.9 design 110 port 53.01"},
        {"C", PackFamily::C, AnswerC(c), 3, "3300 3301 cell:24 cell:25 ambient:23 mosfet:28 | 24 25 0 0 amb 23 "
         "fet 28 A 0 V 26.5 Ah 50 of 100 cycles 12 soc 50 soh 99 hottest 25 coldest 24 inAh 1000 outAh 500 inKwh 50 "
         "outKwh 26 inHours 100 outHours 200 charges 20 discharges 21"},
        {"D, P 3", PackFamily::D, AnswerD(d), 1, dLastTwo},
        {"D, P 9", PackFamily::D, AnswerD(dHead + "09 2710 0007 2AF8" + QByteArray("11").repeated(28)), 1, dLastTwo},
        {"D, pack count instead of the address", PackFamily::D, Answer(0x25, 7, 0x46, d), 7, dLastTwo},
        {"D, every sensor on the cells", PackFamily::D, AnswerD(d), 1,
         "3300 3301 cell:24 cell:25 cell:26 cell:23 | 24 25 26 23 amb 0 fet 0" + dValues, RFamilySettings{100, false}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RAnalogData r;
        EXPECT_EQ(FitAnalogAnswer(row.answer.view()).family, row.family);
        ASSERT_EQ(DecodeFamilyAnalog(row.family, row.answer.view(), row.address, {}, row.settings, r), 0);
        EXPECT_EQ(r.family, row.family);
        EXPECT_EQ(r.packNumber, row.address);
        EXPECT_EQ(Summary(r).toStdString(), row.expected.toStdString());
    }
    // C's group byte (01 above) names no pack: the frame's ADR does.
    RAnalogData r;
    EXPECT_EQ(DecodeFamilyAnalog(PackFamily::C, AnswerC(c).view(), 4, {}, {}, r), ResultCode::kWrongAddress);
}

TEST(FamilyDecoding, AlarmStatesOfEachFamilyKeepTheirStatusBytesApartFromOurs)
{
    const char* d = "00 01 01 00 04 00 00 00 02 01 00 F0 010203040506070809";
    const Row rows[] = {
        {"A", PackFamily::A, AnswerA("00 02 02 00 01 02 F0 02 02 00 01 11 22 33 81 40"), 2,
         "0 1 0 0 | f0 2 | 2 0 0 0 | 2 0 1 | 11 22 33 81 40 | 4081"},
        {"B", PackFamily::B, AnswerB("00 05 01 02 06 00 00 00 00 01 02 F0 00 14 0102030405060708090A0B0C0D0E0F10111213"
         "14"), 5, "2 0 0 0 | 0 0 0 0 1 2 | 0 0 0 0 | f0 0 -1 | 1 2 3 4 5 6 7 8 9 a b c d e f 10 11 12 13 14 |"},
        {"C", PackFamily::C, AnswerC("00 01 01 00 01 02 01 01 01 00 09 0102030405060708090A0B0C"), 3,
         "0 0 0 0 | 2 1 1 | 2 0 0 0 | 1 0 -1 | 1 2 3 4 5 6 7 8 9 a b c |"},
        {"D", PackFamily::D, AnswerD(d), 1, "0 0 0 0 | 0 0 0 2 | 0 0 0 0 | 1 0 f0 | 1 2 3 4 5 6 7 8 9 |"},
        {"D, every sensor on the cells", PackFamily::D, AnswerD(d), 1,
         "0 0 0 0 | 0 0 0 2 | 0 0 0 2 | 1 0 f0 | 1 2 3 4 5 6 7 8 9 |", RFamilySettings{100, false}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RAlarmData r;
        ASSERT_EQ(DecodeFamilyAlarm(row.family, row.answer.view(), row.address, r, row.settings), 0);
        EXPECT_EQ(r.family, row.family);
        EXPECT_EQ(r.status, RAlarmData().status);   // our bit meanings would show wrong alarms
        EXPECT_EQ(Summary(r).toStdString(), row.expected.toStdString());
    }
}

// Walking M and N to P tells the family (every answer above fits its own);
// anything else stays unknown with what was found, and the decoders refuse
// it whole.
TEST(FamilyDecoding, AnswersFitOnlyTheFamilyWhoseLayoutTheyHave)
{
    const QByteArray a = "00 02 01 0CE4 01 0BA5 0000 0CE4 2710 02 2710 0001";
    const QByteArray c = "00 01 00 00 0B91 0BC3 0000 0000 0000 0000 0000 0F";
    using F = PackFamily;
    struct {
        const char* name;
        Answer answer;
        PackFamily family;
        int count;
        PackFamily decodedAs;
        std::uint8_t decoded;   // DecodeFamilyAnalog's result for decodedAs at the answer's ADR
    } rows[] = {
        {"ours", Answer(0x21, 1, 0x46, "01 01 0CE4 02 0041 0042 0000 0514 2710 05 2710 000A 50 64 0005 2D"), F::Ours,
         5, F::A, ResultCode::kBadFrame},
        {"ours, ending after the cells", Answer(0x21, 1, 0x46, "01 01 0CE4"), F::Ours, -1, F::A, ResultCode::kBadFrame},
        {"a count no family sends", AnswerA(QByteArray(a).replace("02 2710", "03 2710") + "2710"), F::Unknown, 3, F::A,
         ResultCode::kBadFrame},
        {"A's layout under C's CID1", Answer(0x20, 2, 0x4A, a), F::Unknown, -1, F::A, 0},
        {"a VER no family sends", Answer(0x30, 2, 0x46, a), F::Unknown, 2, F::A, 0},
        {"C ending one byte early", AnswerC(c + QByteArray(82, '0')), F::Unknown, 15, F::C, ResultCode::kBadFrame},
        {"ending before P", AnswerD("00 01 01 0CE4 01 0BA5 0000 0CE4 2710"), F::Unknown, -1, F::D,
         ResultCode::kBadFrame},
        {"17 cells", AnswerA("00 02 11" + QByteArray("0CE4").repeated(17) + a.mid(13)), F::Unknown, 2, F::A,
         ResultCode::kBadFrame},
        {"another pack's answer", AnswerA(QByteArray(a).replace(0, 5, "00 03")), F::A, 2, F::A,
         ResultCode::kWrongAddress},
        {"VER error", Answer(0x20, 2, 0x46, "", 0x01), F::Unknown, -1, F::A, ResultCode::kBadFrame},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const RFamilyFit fit = FitAnalogAnswer(row.answer.view());
        const auto& bytes = row.answer.bytes;
        EXPECT_EQ(fit, (RFamilyFit{row.family, bytes[1], bytes[3], bytes[4], row.count}));
        RAnalogData record = InitAnalogData(9);
        const RAnalogData before = record;
        EXPECT_EQ(DecodeFamilyAnalog(row.decodedAs, row.answer.view(), bytes[2], {}, {}, record), row.decoded);
        if (row.decoded != 0) {
            EXPECT_EQ(record, before);
        }
    }
}

TEST(FamilyDecoding, IdentityAnswersFillWhatTheyCarryAndNothingElse)
{
    const QByteArray info51 = QByteArray("PACK-48V  ").toHex() + "0102" + QByteArray("Maker Co").toHex()
        + QByteArray(24, '0');
    const QByteArray info93 = "02" + QByteArray("SN0123456789ABCD").toHex();
    const QByteArray infoC1 = QByteArray("V2.15").leftJustified(20).toHex();
    const QByteArray infoC2 = (QByteArray("WALL-5K").leftJustified(20) + "SN77").toHex();
    const RFamilyIdentity old{"old", {}, {}, {}, {}};
    struct {
        PackFamily family;
        std::uint8_t cid2;
        QByteArray info;
        RFamilyIdentity expected;   // merged into old; old itself: refused
    } rows[] = {
        {PackFamily::C, 0x51, info51, {"PACK-48V", "Maker Co", "1.2", {}, {}}},
        {PackFamily::A, 0x93, info93, {"old", {}, {}, "SN0123456789ABCD", {}}},
        {PackFamily::A, 0x96, "02 0103 020007", {"old", {}, {}, {}, "1.3 2.0.7"}},
        {PackFamily::D, 0xC1, infoC1, {"old", {}, "V2.15", {}, {}}},
        {PackFamily::D, 0xC2, infoC2, {"WALL-5K", {}, {}, "SN77", {}}},
        {PackFamily::A, 0x51, info51.chopped(2), old},   // a byte short
        {PackFamily::D, 0xC1, infoC1.chopped(2), old},
        {PackFamily::B, 0x93, info93, old},              // not one of B's reads
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(QByteArray::number(row.cid2, 16).constData());
        RFamilyIdentity identity = old;
        const Answer answer(0x20, 2, 0x46, row.info);
        EXPECT_EQ(DecodeFamilyIdentity(row.family, row.cid2, answer.view(), identity), row.expected != old);
        EXPECT_EQ(identity, row.expected);
    }
}
