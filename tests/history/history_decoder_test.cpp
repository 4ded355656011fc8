#include "history/history_record.h"
#include "protocol/result_codes.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include <vector>

namespace {

// An unpacked answer around the given INFO: SOI, VER, ADR, CID1, RTN, two
// length bytes, INFO, two checksum bytes and EOI, as the link object holds it.
struct Answer {
    std::vector<std::uint8_t> bytes;
    AnswerView view() const { return AnswerView(bytes.data(), int(bytes.size())); }
};

Answer Unpacked(const std::vector<std::uint8_t>& info)
{
    Answer answer;
    answer.bytes = {'~', 0x21, 0x01, 0x46, 0x00, 0x00, 0x00};
    answer.bytes.insert(answer.bytes.end(), info.begin(), info.end());
    answer.bytes.insert(answer.bytes.end(), {0x00, 0x00, '\r'});
    return answer;
}

// INFO of a record: status 0, pack 3, 2024-05-06 07:08:09, the given mode
// and current, 53.20 V, SOC 87, 45.67 Ah, alarm code 0x21, then m
// temperature bytes (cells 25, 26, ... °C, ambient 30 °C, FET 35 °C),
// humidity 55 and n cells of 3300 + k mV.
std::vector<std::uint8_t> RecordInfo(std::uint8_t mode, std::uint16_t current, int m, int n)
{
    std::vector<std::uint8_t> info = {0x00, 0x07, 0x03, 24, 5, 6, 7, 8, 9, mode};
    info.push_back(std::uint8_t(current >> 8));
    info.push_back(std::uint8_t(current));
    info.insert(info.end(), {0x14, 0xC8, 87, 0x11, 0xD7, 0x21, std::uint8_t(m)});
    for (int k = 0; k < m - 2; ++k)
        info.push_back(std::uint8_t(65 + k));
    info.insert(info.end(), {70, 75, 55, std::uint8_t(n)});
    for (int k = 0; k < n; ++k) {
        const int mv = 3300 + k;
        info.push_back(std::uint8_t(mv >> 8));
        info.push_back(std::uint8_t(mv));
    }
    return info;
}

struct Decoded {
    std::uint8_t result = 0xFF;
    std::uint8_t first = 0xEE;
    std::uint8_t second = 0xEE;
    RHistoryRecord record;
};

Decoded Decode(const std::vector<std::uint8_t>& info, const RHistoryRecord& before = {})
{
    Decoded out;
    out.record = before;
    const Answer answer = Unpacked(info);
    out.result = DecodeHistoryRecord(answer.view(), out.first, out.second, out.record);
    return out;
}

Decimal Hundredths(std::int64_t value)
{
    return Decimal::fromRaw(value * 100);
}

} // namespace

TEST(HistoryDecoder, FullRecordFillsEveryField)
{
    const std::vector<std::uint8_t> info = RecordInfo(1, 0x01F4, 6, 16);
    ASSERT_EQ(info.size(), 59u);
    const Decoded d = Decode(info);
    ASSERT_EQ(d.result, ResultCode::kSuccess);
    EXPECT_EQ(d.first, 0);
    EXPECT_EQ(d.second, 7);
    const RHistoryRecord& r = d.record;
    EXPECT_EQ(r.packNumber, 3);
    EXPECT_EQ(r.time, (RDeviceTime{2024, 5, 6, 7, 8, 9}));
    EXPECT_EQ(r.mode, 1);
    EXPECT_EQ(r.current, Hundredths(500));
    EXPECT_EQ(r.voltage, Hundredths(5320));
    EXPECT_EQ(r.soc, 87);
    EXPECT_EQ(r.remainingCapacity, Hundredths(4567));
    EXPECT_EQ(r.alarmCode, 0x21);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(r.cellTemperatures[k], Decimal::fromInt(25 + k));
    EXPECT_EQ(r.ambientTemperature, Decimal::fromInt(30));
    EXPECT_EQ(r.fetTemperature, Decimal::fromInt(35));
    EXPECT_EQ(r.humidity, 55);
    for (int k = 0; k < 16; ++k)
        EXPECT_EQ(r.cellVoltages[k], 3300 + k);
}

TEST(HistoryDecoder, DischargingRecordsNegateTheCurrentWhateverItsSign)
{
    EXPECT_EQ(Decode(RecordInfo(0, 0xFF38, 6, 16)).record.current, Hundredths(-200));
    EXPECT_EQ(Decode(RecordInfo(1, 0xFF38, 6, 16)).record.current, Hundredths(-200));
    EXPECT_EQ(Decode(RecordInfo(2, 0xFF38, 6, 16)).record.current, Hundredths(200));
    EXPECT_EQ(Decode(RecordInfo(2, 0x00C8, 6, 16)).record.current, Hundredths(-200));
    EXPECT_EQ(Decode(RecordInfo(2, 0x8000, 6, 16)).record.current, Hundredths(32768));
}

TEST(HistoryDecoder, EndMarkCarriesStatusBytesAndLeavesTheRecordAlone)
{
    RHistoryRecord before;
    InitAlarmRecord(5, before);
    before.soc = 42;
    const Decoded d = Decode({0x01, 0x09}, before);
    EXPECT_EQ(d.result, ResultCode::kSuccess);
    EXPECT_EQ(d.first, 1);
    EXPECT_EQ(d.second, 9);
    EXPECT_EQ(d.record, before);
}

TEST(HistoryDecoder, FewerSensorsAndCellsLeaveTheOtherSlotsAsTheyWere)
{
    RHistoryRecord before;
    InitWorkDataRecord(3, before);
    const Decoded d = Decode(RecordInfo(0, 0, 2, 8), before);
    ASSERT_EQ(d.result, ResultCode::kSuccess);
    for (const Decimal& t : d.record.cellTemperatures)
        EXPECT_EQ(t, Decimal());
    EXPECT_EQ(d.record.ambientTemperature, Decimal::fromInt(30));
    EXPECT_EQ(d.record.fetTemperature, Decimal::fromInt(35));
    EXPECT_EQ(d.record.humidity, 55);
    for (int k = 0; k < 16; ++k)
        EXPECT_EQ(d.record.cellVoltages[k], k < 8 ? 3300 + k : 0) << "cell " << k + 1;
}

TEST(HistoryDecoder, OversizeCountsAreReadPastWithoutWritingBeyondTheRecord)
{
    // Nine cell sensors and twenty cells: the fields behind them still come
    // from their own positions, the surplus is dropped.
    const Decoded d = Decode(RecordInfo(0, 0, 11, 20));
    ASSERT_EQ(d.result, ResultCode::kSuccess);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(d.record.cellTemperatures[k], Decimal::fromInt(25 + k));
    EXPECT_EQ(d.record.ambientTemperature, Decimal::fromInt(30));
    EXPECT_EQ(d.record.fetTemperature, Decimal::fromInt(35));
    EXPECT_EQ(d.record.humidity, 55);
    EXPECT_EQ(d.record.cellVoltages[15], 3315);

    // The largest counts a byte can carry stay inside the answer buffer.
    std::vector<std::uint8_t> info = RecordInfo(0, 0, 255, 0);
    info.back() = 255;
    info.resize(info.size() + 2 * 255, 0x0C);
    const Decoded big = Decode(info);
    EXPECT_EQ(big.result, ResultCode::kSuccess);
    EXPECT_EQ(big.record.cellVoltages[15], 0x0C0C);
}

TEST(HistoryDecoder, AnswersShorterThanTheirCountsAreRejectedUntouched)
{
    RHistoryRecord before;
    InitWorkDataRecord(3, before);
    const std::vector<std::uint8_t> full = RecordInfo(0, 0, 6, 16);
    for (std::size_t cut : {std::size_t(0), std::size_t(1), std::size_t(10), std::size_t(19), std::size_t(26),
                            full.size() - 1}) {
        const std::vector<std::uint8_t> info(full.begin(), full.begin() + std::ptrdiff_t(cut));
        const Decoded d = Decode(info, before);
        EXPECT_EQ(d.result, ResultCode::kBadFrame) << cut << " INFO bytes";
        EXPECT_EQ(d.first, 0xEE);
        EXPECT_EQ(d.second, 0xEE);
        EXPECT_EQ(d.record, before);
    }
    // Without room for ambient and FET the layout makes no sense.
    std::vector<std::uint8_t> noAmbient = RecordInfo(0, 0, 2, 0);
    noAmbient[18] = 1;
    EXPECT_EQ(Decode(noAmbient, before).result, ResultCode::kBadFrame);
}

TEST(HistoryRecord, BlankRecordsAndModeTexts)
{
    RHistoryRecord record;
    record.voltage = Decimal::fromInt(50);
    record.cellVoltages[3] = 3000;
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    InitWorkDataRecord(9, record);
    EXPECT_EQ(record.packNumber, 9);
    EXPECT_EQ(record.voltage, Decimal());
    EXPECT_EQ(record.cellVoltages[3], 0);
    const QDateTime stamped(QDate(record.time.year, record.time.month, record.time.day),
                            QTime(record.time.hour, record.time.minute, record.time.second));
    EXPECT_GE(stamped, before.addSecs(-1));
    EXPECT_LE(stamped, QDateTime::currentDateTime());

    EXPECT_EQ(GetModeText(0), "Free");
    EXPECT_EQ(GetModeText(1), "Charge");
    EXPECT_EQ(GetModeText(2), "DisCharge");
    EXPECT_EQ(GetModeText(3), "Unknown");
    EXPECT_EQ(GetModeText(255), "Unknown");
}
