// The simulated bus on its own: requests in, answers out, parsed with the
// same frame helpers the host uses.

#include "protocol/answer_view.h"
#include "protocol/decoders.h"
#include "protocol/frame.h"
#include "sim_bus.h"
#include "sim_pack.h"
#include "support/unpacked_answer.h"

#include <QDateTime>

#include <gtest/gtest.h>

namespace {

constexpr std::uint8_t kReadAnalogData = 0x42;
constexpr std::uint8_t kReadParameters = 0x47;
constexpr std::uint8_t kWriteParameters = 0x49;
constexpr std::uint8_t kReadWorkData = 0x4B;
constexpr std::uint8_t kReadAlarmRecord = 0x4C;
constexpr std::uint8_t kReadDateTime = 0x4D;
constexpr std::uint8_t kDeleteAlarmRecords = 0xE3;

QByteArray Bytes(std::initializer_list<int> values)
{
    QByteArray bytes;
    for (int value : values)
        bytes.append(char(value));
    return bytes;
}

// Sends one request and parses the answer; fails the test when there is
// no well-formed answer.
frame::ParsedFrame Ask(SimBus& bus, std::uint8_t address, std::uint8_t cid2, const QByteArray& info = {})
{
    frame::ParsedFrame answer;
    const SimReply reply = bus.respond(frame::BuildFrame(address, cid2, info));
    EXPECT_TRUE(frame::ParseFrame(reply.text, answer)) << reply.text.constData();
    return answer;
}

SimOptions WithRecords(int records)
{
    SimOptions options;
    options.recordsPerLog = records;
    return options;
}

TEST(SimBus, HistoryLogServesFirstNextRetryAndEndMark)
{
    SimBus bus(WithRecords(2));
    const frame::ParsedFrame first = Ask(bus, 1, kReadWorkData, Bytes({0, 1}));
    ASSERT_EQ(first.cid2, 0);
    ASSERT_EQ(first.info.size(), 59);  // four cell temperatures, sixteen cells
    EXPECT_EQ(first.info[0], 0);
    EXPECT_EQ(first.info[2], 1);       // pack number
    EXPECT_EQ(first.info[18], 6);      // temperatures including ambient and FET
    EXPECT_EQ(first.info[26], 16);     // cell voltages

    const frame::ParsedFrame second = Ask(bus, 1, kReadWorkData, Bytes({1, 1}));
    EXPECT_EQ(second.info[0], 0);
    EXPECT_NE(second.info, first.info);
    EXPECT_EQ(Ask(bus, 1, kReadWorkData, Bytes({2, 1})).info, second.info);

    const frame::ParsedFrame end = Ask(bus, 1, kReadWorkData, Bytes({1, 1}));
    EXPECT_EQ(end.cid2, 0);
    EXPECT_EQ(end.info, Bytes({1, 0}));
    EXPECT_EQ(Ask(bus, 1, kReadWorkData, Bytes({2, 1})).info, Bytes({1, 0}));
    EXPECT_EQ(Ask(bus, 1, kReadWorkData, Bytes({1, 1})).info, Bytes({1, 0}));

    // Stop ends the transfer; a first request starts over.
    EXPECT_EQ(Ask(bus, 1, kReadWorkData, Bytes({3, 1})).cid2, 0);
    EXPECT_EQ(Ask(bus, 1, kReadWorkData, Bytes({0, 1})).info, first.info);
    EXPECT_EQ(Ask(bus, 1, kReadWorkData, Bytes({7, 1})).cid2, SimRtn::kInvalidData);
}

TEST(SimBus, RecordsAreOlderFirstAndStampedWithAValidTime)
{
    SimBus bus(WithRecords(3));
    QDateTime previous;
    for (int sub : {0, 1, 1}) {
        const QByteArray info = Ask(bus, 2, kReadWorkData, Bytes({sub, 2})).info;
        const QDateTime stamp(QDate(2000 + info[3], info[4], info[5]), QTime(info[6], info[7], info[8]));
        ASSERT_TRUE(stamp.isValid());
        EXPECT_LE(stamp, QDateTime::currentDateTime());
        if (previous.isValid()) {
            EXPECT_GT(stamp, previous);
        }
        previous = stamp;
    }
}

TEST(SimBus, DeletingAlarmRecordsEmptiesOnlyThatLog)
{
    SimBus bus(WithRecords(5));
    EXPECT_EQ(Ask(bus, 1, kDeleteAlarmRecords, Bytes({1})).cid2, 0);
    EXPECT_EQ(Ask(bus, 1, kReadAlarmRecord, Bytes({0, 1})).info, Bytes({1, 0}));
    EXPECT_EQ(Ask(bus, 1, kReadWorkData, Bytes({0, 1})).info[0], 0);
    EXPECT_EQ(Ask(bus, 2, kReadAlarmRecord, Bytes({0, 2})).info[0], 0);
}

TEST(SimBus, ParameterBlockIsReadBackAsWritten)
{
    SimBus bus;
    const QByteArray defaults = Ask(bus, 3, kReadParameters, Bytes({3})).info;
    ASSERT_EQ(defaults.size(), SimPack::kParameterBlockBytes);
    EXPECT_EQ(defaults[0], 3);                                        // its address
    EXPECT_EQ(defaults[1], 16);                                       // cells in series
    EXPECT_EQ((std::uint8_t(defaults[61]) << 8) | std::uint8_t(defaults[62]), 3650);  // cell over-voltage, mV
    EXPECT_EQ(std::uint8_t(defaults[89]), 60 + 40);                   // charging high temperature, °C + 40

    QByteArray written(SimPack::kParameterBlockBytes, '\0');
    for (int i = 0; i < written.size(); ++i)
        written[i] = char((i * 37 + 11) & 0xFF);
    EXPECT_EQ(Ask(bus, 3, kWriteParameters, written + Bytes({0})).cid2, 0);
    EXPECT_EQ(Ask(bus, 3, kReadParameters, Bytes({3})).info, written);
    EXPECT_EQ(Ask(bus, 2, kReadParameters, Bytes({2})).info, SimPack::DefaultParameterBlock(2));

    // Restore defaults ignores the block that comes with it.
    EXPECT_EQ(Ask(bus, 3, kWriteParameters, written + Bytes({1})).cid2, 0);
    EXPECT_EQ(Ask(bus, 3, kReadParameters, Bytes({3})).info, defaults);

    EXPECT_EQ(Ask(bus, 3, kWriteParameters, written.first(100)).cid2, SimRtn::kFormatError);
    EXPECT_EQ(Ask(bus, 3, kReadParameters, Bytes({3})).info, defaults);
}

TEST(SimBus, UnknownCommandAnswersWithAReturnCode)
{
    SimBus bus;
    const frame::ParsedFrame answer = Ask(bus, 1, 0x99);
    EXPECT_EQ(answer.cid2, SimRtn::kUnknownCommand);
    EXPECT_EQ(answer.lenid, 0);
}

TEST(SimBus, NoAnswerForAbsentSilentOrUnreadablePacks)
{
    SimOptions options;
    options.packs = 2;
    options.faults.push_back(*ParseSimFault(u"silent:1"));
    SimBus bus(options);
    EXPECT_FALSE(bus.respond(frame::BuildFrame(1, kReadDateTime, {})).answered());
    EXPECT_FALSE(bus.respond(frame::BuildFrame(3, kReadDateTime, {})).answered());
    EXPECT_FALSE(bus.respond(frame::BuildFrame(0, kReadDateTime, {})).answered());
    QByteArray damaged = frame::BuildFrame(2, kReadDateTime, {});
    damaged[damaged.size() - 2] = damaged[damaged.size() - 2] == '0' ? '1' : '0';
    EXPECT_FALSE(bus.respond(damaged).answered());
    EXPECT_TRUE(bus.respond(frame::BuildFrame(2, kReadDateTime, {})).answered());
}

TEST(SimBus, CountedFaultsHitEveryNthAnswer)
{
    SimBus bus;
    ASSERT_TRUE(bus.addFault(QStringLiteral("badsum:3")));
    ASSERT_TRUE(bus.addFault(QStringLiteral("wrongaddr:4")));
    ASSERT_TRUE(bus.addFault(QStringLiteral("truncate:5")));
    for (int answer = 1; answer <= 12; ++answer) {
        const SimReply reply = bus.respond(frame::BuildFrame(1, kReadDateTime, {}));
        frame::ParsedFrame parsed;
        const bool readable = frame::ParseFrame(reply.text, parsed);
        const bool damaged = answer % 3 == 0 || answer % 5 == 0;
        EXPECT_EQ(readable, !damaged) << "answer " << answer;
        if (readable) {
            EXPECT_EQ(parsed.address, answer % 4 == 0 ? 2 : 1) << "answer " << answer;
        }
        if (answer % 5 == 0) {
            EXPECT_LT(reply.text.size(), 32);
        }
    }
    bus.clearFaults();
    frame::ParsedFrame parsed;
    EXPECT_TRUE(frame::ParseFrame(bus.respond(frame::BuildFrame(1, kReadDateTime, {})).text, parsed));
}

TEST(SimBus, NoiseReturnCodeAndDelayFaults)
{
    SimBus bus;
    ASSERT_TRUE(bus.addFault(QStringLiteral("noise")));
    ASSERT_TRUE(bus.addFault(QStringLiteral("rtn:4D:E1")));
    ASSERT_TRUE(bus.addFault(QStringLiteral("delay:250")));
    const SimReply reply = bus.respond(frame::BuildFrame(1, kReadDateTime, {}));
    EXPECT_NE(reply.text.front(), frame::kStart);
    EXPECT_EQ(reply.text.count(frame::kStart), 1);
    EXPECT_EQ(reply.delay, std::chrono::milliseconds(250));
    frame::ParsedFrame parsed;
    ASSERT_TRUE(frame::ParseFrame(reply.text, parsed));
    EXPECT_EQ(parsed.cid2, 0xE1);
    EXPECT_EQ(Ask(bus, 1, kReadAnalogData, Bytes({1})).cid2, 0);
}

TEST(SimBus, FaultTextsParseAndMalformedOnesAreRefused)
{
    for (const char* text : {"silent:3", "noise", "badsum:2", "truncate:7", "wrongaddr:1", "rtn:4D:E1", "delay:900",
                             "slow:2:1500", "glitch", "stutter", "garbage", "badclock", "badclock:13",
                             "answeras:E9", "echo", "chunks:40", "rtn:4D:E1:2", "cut:3:42"}) {
        const std::optional<SimFault> fault = ParseSimFault(QString::fromLatin1(text));
        ASSERT_TRUE(fault) << text;
        EXPECT_EQ(SimFaultText(*fault), QString::fromLatin1(text));
    }
    QString error;
    for (const char* text : {"", "loud", "badsum", "badsum:0", "badsum:x", "rtn:4D", "rtn:4G:01", "noise:1", "delay:-5",
                             "slow:2", "slow:x:100", "echo:1", "chunks", "badclock:x", "badclock:1:2", "answeras",
                             "answeras:G1", "rtn:4D:E1:0", "rtn:4D:E1:x", "cut:3", "cut:0:42", "cut:3:4G"}) {
        EXPECT_FALSE(ParseSimFault(QString::fromLatin1(text), &error)) << text;
        EXPECT_FALSE(error.isEmpty());
    }
}

TEST(SimBus, SameSeedPlaysTheSamePacks)
{
    SimOptions options;
    options.seed = 42;
    SimBus one(options);
    SimBus two(options);
    options.seed = 43;
    SimBus other(options);
    const QByteArray request = frame::BuildFrame(2, kReadAnalogData, Bytes({2}));
    for (int i = 0; i < 5; ++i) {
        const QByteArray answer = one.respond(request).text;
        EXPECT_EQ(two.respond(request).text, answer);
        EXPECT_NE(other.respond(request).text, answer);
    }
}

TEST(SimBus, LiveValuesDriftButStayPlausible)
{
    SimOptions options;
    options.packs = 2;
    SimBus bus(options);
    bool sawCharge = false;
    bool sawDischarge = false;
    for (int read = 0; read < 300; ++read) {
        for (std::uint8_t pack : {1, 2}) {
            const SimReply reply = bus.respond(frame::BuildFrame(pack, kReadAnalogData, Bytes({pack})));
            RAnalogData record;
            // Odd packs answer with the short layout, even ones with the long one.
            ASSERT_EQ(DecodeAnalogData(Unpacked(reply.text).view(), pack, QDateTime(), record), 0);
            int sum = 0;
            for (std::uint16_t cell : record.cellVoltages) {
                EXPECT_GE(cell, 3000);
                EXPECT_LE(cell, 3500);
                sum += cell;
            }
            EXPECT_EQ(record.totalVoltage, Decimal::fromRatio(sum / 10, 100));
            EXPECT_GE(record.humidity, 30);
            EXPECT_LE(record.humidity, 70);
            EXPECT_LE(record.soc, 100);
            EXPECT_LE(record.remainingCapacity, record.fullCapacity);
            EXPECT_GE(record.fetTemperature, Decimal::fromInt(20));
            EXPECT_LE(record.cellTemperatures[0], Decimal::fromInt(45));
            sawCharge = sawCharge || record.current > Decimal::fromInt(10);
            sawDischarge = sawDischarge || record.current < Decimal::fromInt(-10);
        }
    }
    EXPECT_TRUE(sawCharge);
    EXPECT_TRUE(sawDischarge);
}

} // namespace
