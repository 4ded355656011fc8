// Other makers' answers, written byte by byte from their layouts (flag,
// pack byte, M, cells, N, temperatures, current, voltage, remaining, P,
// tail), decoded into our records.

#include "protocol/family_decoders.h"
#include "protocol/result_codes.h"

#include <gtest/gtest.h>

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

Decimal Dec(const char16_t* text)
{
    return text ? *Decimal::parse(QStringView(text)) : Decimal();
}
std::optional<Decimal> Maybe(const char16_t* text)
{
    return text ? std::optional<Decimal>(Dec(text)) : std::nullopt;
}

using Role = TemperatureRole;
struct Temperature {
    Role role;
    const char16_t* celsius;
};

// One answer and what it must decode to.
struct AnalogRow {
    const char* name;
    Answer answer;
    std::uint8_t address;
    RFamilySettings settings;
    std::vector<std::uint16_t> cells;
    std::vector<Temperature> temperatures;
    std::vector<const char16_t*> cellTemperatures;   // the shared four
    const char16_t* ambient;
    const char16_t* fet;
    const char16_t* current;
    const char16_t* voltage;
    const char16_t* remaining;
    const char16_t* full;
    std::uint16_t cycles;
    const char16_t* soc;   // nullptr: not sent
    const char16_t* soh;
    const char16_t* design;
};

void CheckAnalogRows(PackFamily family, const std::vector<AnalogRow>& rows)
{
    const QDateTime now(QDate(2026, 1, 2), QTime(3, 4, 5));
    for (const AnalogRow& row : rows) {
        SCOPED_TRACE(row.name);
        RAnalogData r;
        ASSERT_EQ(DecodeFamilyAnalog(family, row.answer.view(), row.address, now, row.settings, r), 0);
        EXPECT_EQ(r.family, family);
        EXPECT_EQ(r.packNumber, row.address);
        EXPECT_EQ(r.time, now);
        std::array<std::uint16_t, kMaxCells> cells{};
        std::copy(row.cells.begin(), row.cells.end(), cells.begin());
        EXPECT_EQ(r.cellVoltages, cells);
        EXPECT_EQ(r.extra.cellCount, row.cells.size());
        ASSERT_EQ(r.extra.temperatureCount, row.temperatures.size());
        for (std::size_t i = 0; i < row.temperatures.size(); ++i) {
            EXPECT_EQ(r.extra.temperatureRoles[i], row.temperatures[i].role) << i;
            EXPECT_EQ(r.extra.temperatures[i], Dec(row.temperatures[i].celsius)) << i;
        }
        std::array<Decimal, kMaxCellTemperatures> shared{};
        std::transform(row.cellTemperatures.begin(), row.cellTemperatures.end(), shared.begin(), Dec);
        EXPECT_EQ(r.cellTemperatures, shared);
        EXPECT_EQ(r.ambientTemperature, Dec(row.ambient));
        EXPECT_EQ(r.fetTemperature, Dec(row.fet));
        EXPECT_EQ(r.current, Dec(row.current));
        EXPECT_EQ(r.totalVoltage, Dec(row.voltage));
        EXPECT_EQ(r.remainingCapacity, Dec(row.remaining));
        EXPECT_EQ(r.fullCapacity, Dec(row.full));
        EXPECT_EQ(r.cycleCount, row.cycles);
        EXPECT_EQ(StateOfCharge(r), Maybe(row.soc));
        EXPECT_EQ(StateOfHealth(r), Maybe(row.soh));
        EXPECT_EQ(r.extra.designCapacity, Maybe(row.design));
        EXPECT_FALSE(r.sent(AnalogField::Balancing));
    }
}

RAlarmData DecodeAlarm(PackFamily family, const Answer& answer, std::uint8_t address, RFamilySettings settings = {})
{
    RAlarmData r;
    EXPECT_EQ(DecodeFamilyAlarm(family, answer.view(), address, r, settings), 0);
    EXPECT_EQ(r.family, family);
    return r;
}

std::vector<std::uint8_t> Status(const RAlarmData& r)
{
    return {r.extra.status.begin(), r.extra.status.begin() + r.extra.statusCount};
}

} // namespace

TEST(FamilyDecoding, FamilyAGivesTheBoardApartAndBothCapacityWidths)
{
    RFamilySettings tenMilliamps;
    tenMilliamps.aCurrentMilliamps = 10;
    const char* small = "00 02 02 0CE4 0CE5 03 0BA5 0B9B 0AAB FF9C 0CE9 2710 02 4E20 0005";
    CheckAnalogRows(PackFamily::A, {
        {"P 2", AnswerA(small), 2, {}, {3300, 3301}, {{Role::Board, u"25"}, {Role::CellSensor, u"24"},
         {Role::CellSensor, u"0"}}, {u"24", u"0"}, nullptr, nullptr, u"-10", u"3.305", u"10", u"20", 5, nullptr, nullptr, nullptr},
        {"current in 10 mA", AnswerA(small), 2, tenMilliamps, {3300, 3301}, {{Role::Board, u"25"},
         {Role::CellSensor, u"24"}, {Role::CellSensor, u"0"}}, {u"24", u"0"}, nullptr, nullptr, u"-1",
         u"3.305", u"10", u"20", 5, nullptr, nullptr, nullptr},
        {"P 4 above 65 Ah, lowest current, frost", AnswerA("00 02 01 FFFF 02 0A0D 0A0D 8000 FFFF FFFF 04 FFFF 0001 "
         "0186A0 01D4C0"), 2, {}, {65535}, {{Role::Board, u"-15.8"}, {Role::CellSensor, u"-15.8"}}, {u"-15.8"},
         nullptr, nullptr, u"-3276.8", u"65.535", u"100", u"120", 1, nullptr, nullptr, nullptr},
    });

    const RAlarmData alarm = DecodeAlarm(PackFamily::A, AnswerA("00 02 02 00 01 02 F0 02 02 00 01 11 22 33 81 40"), 2);
    EXPECT_EQ(alarm.cellStates[1], 1);
    EXPECT_EQ(alarm.temperatureStates[0], 2);   // the first cell sensor, after the board
    EXPECT_EQ(alarm.extra.temperatureStates[0], 0xF0);
    EXPECT_EQ(alarm.currentState, 2);
    EXPECT_EQ(alarm.voltageState, 0);
    EXPECT_EQ(alarm.extra.dischargeCurrentState, 1);
    EXPECT_EQ(Status(alarm), (std::vector<std::uint8_t>{0x11, 0x22, 0x33, 0x81, 0x40}));
    EXPECT_EQ(alarm.extra.cellFaults, 0x4081);   // cells 1, 8 and 15
    EXPECT_EQ(alarm.status, RAlarmData().status);
}

TEST(FamilyDecoding, FamilyBGivesPermilleStatesAndItsPowerSensorAsMosfet)
{
    const QByteArray cells = QByteArray("0CE4").repeated(15) + "0CE5";
    const QByteArray info = "00 05 10" + cells + "06 0B9B 0BA5 0BAF 0BB9 0B91 0BC3 07D0 14B4 2710 0A "
                            "2710 0371 2AF8 0064 03E7 14B5 0000 0000 0000 0000";
    std::vector<std::uint16_t> cellValues(15, 3300);
    cellValues.push_back(3301);
    CheckAnalogRows(PackFamily::B, {
        {"16 cells", AnswerB(info), 5, {}, cellValues, {{Role::CellSensor, u"24"},
         {Role::CellSensor, u"25"}, {Role::CellSensor, u"26"}, {Role::CellSensor, u"27"}, {Role::Ambient, u"23"},
         {Role::Mosfet, u"28"}}, {u"24", u"25", u"26", u"27"}, u"23", u"28", u"20", u"53", u"100", u"100", 100,
         u"88.1", u"99.9", u"110"},
        {"negative current, highest voltage", AnswerB("00 05 01 0CE4 00 FFFF FFFF 0000 0A 0000 0000 0000 0000 "
         "0000 0000 0000 0000 0000 0000"), 5, {}, {3300}, {}, {}, nullptr, nullptr, u"-0.01", u"655.35", u"0",
         u"0", 0, u"0", u"0", u"0"},
    });
    RAnalogData r;
    DecodeFamilyAnalog(PackFamily::B, AnswerB(info).view(), 5, {}, {}, r);
    EXPECT_EQ(r.extra.portVoltage, Dec(u"53.01"));

    const RAlarmData alarm = DecodeAlarm(PackFamily::B, AnswerB("00 05 01 02 06 00 00 00 00 01 02 F0 00 14 "
                                                                "01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 14"), 5);
    EXPECT_EQ(alarm.cellStates[0], 2);
    EXPECT_EQ(alarm.extra.temperatureStates[4], 1);
    EXPECT_EQ(alarm.currentState, 0xF0);
    EXPECT_FALSE(alarm.extra.dischargeCurrentState);
    EXPECT_EQ(Status(alarm).size(), 20u);
    EXPECT_EQ(Status(alarm).back(), 0x14);
    EXPECT_FALSE(alarm.extra.cellFaults);
}

TEST(FamilyDecoding, FamilyCGivesTwoTemperaturesBeyondItsCountAndTheTotalsToDate)
{
    const char* info = "00 01 02 0CE4 0CE5 02 0B9B 0BA5 0B91 0BC3 0000 0A5A 1388 2710 000C 0F 0032 0063 0CE5 "
                       "0CE4 0001 0BA5 0B9B 000186A0 0000C350 0000C350 00006590 00000064 000000C8 0014 0015";
    CheckAnalogRows(PackFamily::C, {
        {"two cells, two sensors", AnswerC(info), 3, {}, {3300, 3301}, {{Role::CellSensor, u"24"},
         {Role::CellSensor, u"25"}, {Role::Ambient, u"23"}, {Role::Mosfet, u"28"}}, {u"24", u"25"}, u"23", u"28",
         u"0", u"26.5", u"50", u"100", 12, u"50", u"99", nullptr},
    });
    RAnalogData r;
    ASSERT_EQ(DecodeFamilyAnalog(PackFamily::C, AnswerC(info).view(), 3, {}, {}, r), 0);
    EXPECT_EQ(r.extra.highestCellTemperature, Dec(u"25"));
    EXPECT_EQ(r.extra.lowestCellTemperature, Dec(u"24"));
    EXPECT_EQ(r.extra.chargedAh, Dec(u"1000"));
    EXPECT_EQ(r.extra.dischargedAh, Dec(u"500"));
    EXPECT_EQ(r.extra.chargedKwh, Dec(u"50"));
    EXPECT_EQ(r.extra.dischargedKwh, Dec(u"26"));
    EXPECT_EQ(r.extra.chargingHours, 100u);
    EXPECT_EQ(r.extra.dischargingHours, 200u);
    EXPECT_EQ(r.extra.charges, 20);
    EXPECT_EQ(r.extra.discharges, 21);
    // The group byte names no pack: the frame's ADR does.
    EXPECT_EQ(DecodeFamilyAnalog(PackFamily::C, AnswerC(info).view(), 4, {}, {}, r), ResultCode::kWrongAddress);

    const RAlarmData alarm = DecodeAlarm(PackFamily::C, AnswerC("00 01 01 00 01 02 01 01 01 00 09 "
                                                                "01 02 03 04 05 06 07 08 09 0A 0B 0C"), 3);
    EXPECT_EQ(alarm.extra.temperatureCount, 3);
    EXPECT_EQ(alarm.extra.temperatureStates[2], 1);   // the MOSFET's
    EXPECT_EQ(alarm.temperatureStates, (std::array<std::uint8_t, 4>{2, 0, 0, 0}));   // only the cell sensor's
    EXPECT_EQ(alarm.currentState, 1);
    EXPECT_EQ(Status(alarm).size(), FamilyStatusNames(PackFamily::C).size());
    EXPECT_EQ(Status(alarm).back(), 0x0C);
}

TEST(FamilyDecoding, FamilyDGivesMosfetAndAmbientLastUnlessSetOtherwise)
{
    RFamilySettings allCells;
    allCells.dLastTwoAreMosfetAmbient = false;
    const char* info = "00 01 02 0CE4 0CE5 04 0B9A 0BA4 0BAE 0B90 FF38 1A0A 1388 03 2710 0007 2AF8";
    const QByteArray longer = QByteArray("00 01 02 0CE4 0CE5 04 0B9A 0BA4 0BAE 0B90 FF38 1A0A 1388 09 2710 0007 2AF8")
        + QByteArray("11").repeated(28);
    const std::vector<Temperature> roles = {{Role::CellSensor, u"24"}, {Role::CellSensor, u"25"},
                                            {Role::Mosfet, u"26"}, {Role::Ambient, u"23"}};
    CheckAnalogRows(PackFamily::D, {
        {"P 3", AnswerD(info), 1, {}, {3300, 3301}, roles, {u"24", u"25"}, u"23", u"26", u"-2", u"6.666", u"50",
         u"100", 7, nullptr, nullptr, u"110"},
        {"P 9 of the wall-mounted packs", AnswerD(longer), 1, {}, {3300, 3301}, roles, {u"24", u"25"},
         u"23", u"26", u"-2", u"6.666", u"50", u"100", 7, nullptr, nullptr, u"110"},
        {"every sensor on the cells", AnswerD(info), 1, allCells, {3300, 3301}, {{Role::CellSensor, u"24"},
         {Role::CellSensor, u"25"}, {Role::CellSensor, u"26"}, {Role::CellSensor, u"23"}},
         {u"24", u"25", u"26", u"23"}, nullptr, nullptr, u"-2", u"6.666", u"50", u"100", 7, nullptr, nullptr,
         u"110"},
        {"pack count instead of the address", Answer(0x25, 0x07, 0x46, info), 7, {}, {3300, 3301}, roles,
         {u"24", u"25"}, u"23", u"26", u"-2", u"6.666", u"50", u"100", 7, nullptr, nullptr, u"110"},
    });

    const char* alarm = "00 01 01 00 04 00 00 00 02 01 00 F0 01 02 03 04 05 06 07 08 09";
    const RAlarmData mosfetLast = DecodeAlarm(PackFamily::D, AnswerD(alarm), 1);
    EXPECT_EQ(mosfetLast.temperatureStates, (std::array<std::uint8_t, 4>{0, 0, 0, 0}));
    EXPECT_EQ(DecodeAlarm(PackFamily::D, AnswerD(alarm), 1, allCells).temperatureStates,
              (std::array<std::uint8_t, 4>{0, 0, 0, 2}));
    EXPECT_EQ(mosfetLast.currentState, 1);
    EXPECT_EQ(mosfetLast.extra.dischargeCurrentState, 0xF0);
    EXPECT_EQ(Status(mosfetLast), (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

// Walking M and N to P tells the family; anything else stays unknown with
// what was found, and the decoders refuse it whole.
TEST(FamilyDecoding, AnswersFitOnlyTheFamilyWhoseLayoutTheyHave)
{
    const char* a = "00 02 01 0CE4 01 0BA5 0000 0CE4 2710 02 2710 0001";
    const char* d = "00 01 01 0CE4 01 0BA5 0000 0CE4 2710 03 2710 0001 2710";
    struct Row {
        const char* name;
        Answer answer;
        PackFamily family;
        int count;
        PackFamily decodedAs;
        std::uint8_t decoded;   // DecodeFamilyAnalog's result for decodedAs at the answer's ADR
    } rows[] = {
        {"ours", Answer(0x21, 1, 0x46, "01 01 0CE4 02 0041 0042 0000 0514 2710 05 2710 000A 50 64 0005 2D"),
         PackFamily::Ours, 5, PackFamily::A, ResultCode::kBadFrame},
        {"ours, ending after the cells", Answer(0x21, 1, 0x46, "01 01 0CE4"), PackFamily::Ours, -1, PackFamily::A,
         ResultCode::kBadFrame},
        {"A", AnswerA(a), PackFamily::A, 2, PackFamily::A, 0},
        {"B", AnswerB("00 05 00 00 0000 0000 0000 0A 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000"),
         PackFamily::B, 10, PackFamily::B, 0},
        {"C", AnswerC("00 01 00 00 0B91 0BC3 0000 0000 0000 0000 0000 0F" + QByteArray(84, '0')), PackFamily::C,
         15, PackFamily::C, 0},
        {"D", AnswerD(d), PackFamily::D, 3, PackFamily::D, 0},
        {"a count no family sends", Answer(0x20, 2, 0x46, "00 02 01 0CE4 01 0BA5 0000 0CE4 2710 03 2710 0001 2710"),
         PackFamily::Unknown, 3, PackFamily::A, ResultCode::kBadFrame},
        {"D's layout under A's VER", Answer(0x20, 1, 0x46, d), PackFamily::Unknown, 3, PackFamily::D,
         ResultCode::kSuccess},
        {"A's layout under C's CID1", Answer(0x20, 2, 0x4A, a), PackFamily::Unknown, -1, PackFamily::A, 0},
        {"a VER no family sends", Answer(0x30, 2, 0x46, a), PackFamily::Unknown, 2, PackFamily::A, 0},
        {"ending one byte early", AnswerA("00 02 01 0CE4 01 0BA5 0000 0CE4 2710 02 2710 00"), PackFamily::Unknown, 2,
         PackFamily::A, ResultCode::kBadFrame},
        {"C ending one byte early", AnswerC("00 01 00 00 0B91 0BC3 0000 0000 0000 0000 0000 0F" + QByteArray(82, '0')),
         PackFamily::Unknown, 15, PackFamily::C, ResultCode::kBadFrame},
        {"ending before P", AnswerD("00 01 01 0CE4 01 0BA5 0000 0CE4 2710"), PackFamily::Unknown, -1, PackFamily::D,
         ResultCode::kBadFrame},
        {"17 cells", AnswerA(QByteArray("00 02 11") + QByteArray("0CE4").repeated(17) + "01 0BA5 0000 0CE4 2710 02 "
         "2710 0001"), PackFamily::Unknown, 2, PackFamily::A, ResultCode::kBadFrame},
        {"another pack's answer", Answer(0x20, 2, 0x46, "00 03 01 0CE4 01 0BA5 0000 0CE4 2710 02 2710 0001"),
         PackFamily::A, 2, PackFamily::A, ResultCode::kWrongAddress},
        {"VER error", Answer(0x20, 2, 0x46, "", 0x01), PackFamily::Unknown, -1, PackFamily::A,
         ResultCode::kBadFrame},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const RFamilyFit fit = FitAnalogAnswer(row.answer.view());
        EXPECT_EQ(fit.family, row.family);
        EXPECT_EQ(fit.userDefinedCount, row.count);
        EXPECT_EQ(fit.version, row.answer.bytes[1]);
        EXPECT_EQ(fit.cid1, row.answer.bytes[3]);
        RAnalogData record = InitAnalogData(9);
        const RAnalogData before = record;
        EXPECT_EQ(DecodeFamilyAnalog(row.decodedAs, row.answer.view(), row.answer.bytes[2], {}, {}, record),
                  row.decoded);
        if (row.decoded != 0) {
            EXPECT_EQ(record, before);
        }
    }
}

TEST(FamilyDecoding, IdentityAnswersFillWhatTheyCarry)
{
    const QByteArray info51 = QByteArray("PACK-48V  ").toHex() + "0102" + QByteArray("Maker Co").toHex()
        + QByteArray(24, '0');
    const QByteArray info93 = "02" + QByteArray("SN0123456789ABCD").toHex();
    const QByteArray infoC1 = QByteArray("V2.15").leftJustified(20).toHex();
    const QByteArray infoC2 = (QByteArray("WALL-5K").leftJustified(20) + "SN77").toHex();
    const RFamilyIdentity old{"old", {}, {}, {}, {}};
    struct Row {
        PackFamily family;
        std::uint8_t cid2;
        QByteArray info;
        bool decodes;
        RFamilyIdentity expected;   // merged into old
    } rows[] = {
        {PackFamily::A, 0x51, info51, true, {"PACK-48V", "Maker Co", "1.2", {}, {}}},
        {PackFamily::C, 0x51, info51, true, {"PACK-48V", "Maker Co", "1.2", {}, {}}},
        {PackFamily::A, 0x93, info93, true, {"old", {}, {}, "SN0123456789ABCD", {}}},
        {PackFamily::A, 0x96, "02 0103 020007", true, {"old", {}, {}, {}, "1.3 2.0.7"}},
        {PackFamily::D, 0xC1, infoC1, true, {"old", {}, "V2.15", {}, {}}},
        {PackFamily::D, 0xC2, infoC2, true, {"WALL-5K", {}, {}, "SN77", {}}},
        {PackFamily::A, 0x51, info51.left(62), false, old},   // a byte short
        {PackFamily::A, 0x93, info93.left(32), false, old},
        {PackFamily::D, 0xC1, infoC1.left(38), false, old},
        {PackFamily::B, 0x93, info93, false, old},            // not one of B's reads
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(QByteArray::number(row.cid2, 16).constData());
        RFamilyIdentity identity = old;
        EXPECT_EQ(DecodeFamilyIdentity(row.family, row.cid2, Answer(0x20, 2, 0x46, row.info).view(), identity),
                  row.decodes);
        EXPECT_EQ(identity, row.expected);
    }
}
