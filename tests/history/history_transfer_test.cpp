#include "store/sim_store.h"

#include "history/history_record.h"
#include "history/history_transfer.h"
#include "protocol/result_codes.h"

#include "lib/sim_bus.h"
#include "lib/sim_live.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

using Reader = std::uint8_t (TDevInfo::*)(std::uint8_t, std::uint8_t, std::uint8_t, std::uint8_t&, std::uint8_t&,
                                          RHistoryRecord&);

struct Transfer {
    std::vector<RHistoryRecord> records;
    std::vector<std::uint8_t> failures;
    bool ended = false;
};

// Reads a whole log with the transfer the record pages use, noting every
// failed exchange.
Transfer ReadLog(TDevInfo& store, Reader read, std::uint8_t pack)
{
    Transfer transfer;
    HistoryTransfer reading(pack, [&](std::uint8_t subCommand, std::uint8_t& first, std::uint8_t& second,
                                      RHistoryRecord& record) {
        const std::uint8_t result = (store.*read)(pack, pack, subCommand, first, second, record);
        if (result != ResultCode::kSuccess)
            transfer.failures.push_back(result);
        return result;
    });
    RHistoryRecord record;
    while (reading.Running())
        if (reading.Step(record))
            transfer.records.push_back(record);
    transfer.ended = reading.Complete();
    return transfer;
}

SimOptions FivePerLog()
{
    SimOptions options;
    options.packs = 2;
    options.recordsPerLog = 5;
    return options;
}

} // namespace

TEST(HistoryTransfer, WorkDataLogIsReadToItsEndMark)
{
    SimulatedStore sim(FivePerLog());
    ASSERT_TRUE(sim.opened);
    const Transfer transfer = ReadLog(*sim.store, &TDevInfo::ReadWorkDataRecord, 2);
    EXPECT_TRUE(transfer.ended);
    EXPECT_TRUE(transfer.failures.empty());
    ASSERT_EQ(transfer.records.size(), 5u);
    for (const RHistoryRecord& record : transfer.records) {
        EXPECT_EQ(record.packNumber, 2);
        EXPECT_GE(record.time.year, 2024);
        EXPECT_GE(record.time.month, 1);
        EXPECT_GT(record.voltage, Decimal());
        EXPECT_GT(record.cellVoltages[0], 0);
    }
    // Oldest first, as the pack stored them.
    for (std::size_t k = 1; k < transfer.records.size(); ++k)
        EXPECT_NE(transfer.records[k], transfer.records[k - 1]);
}

TEST(HistoryTransfer, AlarmLogCarriesAlarmCodes)
{
    SimulatedStore sim(FivePerLog());
    ASSERT_TRUE(sim.opened);
    const Transfer transfer = ReadLog(*sim.store, &TDevInfo::ReadAlarmRecord, 1);
    EXPECT_TRUE(transfer.ended);
    ASSERT_EQ(transfer.records.size(), 5u);
    for (const RHistoryRecord& record : transfer.records)
        EXPECT_NE(record.alarmCode, 0);
}

TEST(HistoryTransfer, RetryAfterAFailedAnswerLosesAndRepeatsNoRecord)
{
    SimulatedStore sim(FivePerLog());
    ASSERT_TRUE(sim.opened);
    const Transfer clean = ReadLog(*sim.store, &TDevInfo::ReadWorkDataRecord, 1);
    ASSERT_EQ(clean.records.size(), 5u);

    SimulatedStore::AddFault(QStringLiteral("badsum:3"));
    const Transfer faulty = ReadLog(*sim.store, &TDevInfo::ReadWorkDataRecord, 1);
    EXPECT_TRUE(faulty.ended);
    EXPECT_FALSE(faulty.failures.empty());
    for (std::uint8_t code : faulty.failures)
        EXPECT_NE(code, ResultCode::kSuccess);
    EXPECT_EQ(faulty.records, clean.records);
}

TEST(HistoryTransfer, FailedAnswersLeaveStatusAndRecordAlone)
{
    SimulatedStore sim(FivePerLog());
    ASSERT_TRUE(sim.opened);
    TDevInfo& store = *sim.store;
    RHistoryRecord record;
    TDevInfo::InitAlarmRecord(1, record);
    const RHistoryRecord blank = record;
    std::uint8_t first = 0xEE;
    std::uint8_t second = 0xEE;

    SimulatedStore::AddFault(QStringLiteral("rtn:4C:06"));
    EXPECT_EQ(store.ReadAlarmRecord(1, 1, HistorySubCommand::kFirst, first, second, record), 0x06);
    EXPECT_EQ(first, 0xEE);
    EXPECT_EQ(record, blank);

    // A pack that is not on the bus: nothing comes back.
    EXPECT_EQ(store.ReadWorkDataRecord(5, 5, HistorySubCommand::kFirst, first, second, record),
              ResultCode::kNoAnswer);
    EXPECT_EQ(second, 0xEE);
    EXPECT_EQ(record, blank);
}

TEST(HistoryTransfer, StopSucceedsWithoutLookingAtTheAnswer)
{
    SimulatedStore sim(FivePerLog());
    ASSERT_TRUE(sim.opened);
    TDevInfo& store = *sim.store;
    RHistoryRecord record;
    TDevInfo::InitWorkDataRecord(1, record);
    std::uint8_t first = 0;
    std::uint8_t second = 0;
    ASSERT_EQ(store.ReadWorkDataRecord(1, 1, HistorySubCommand::kFirst, first, second, record), 0);
    const RHistoryRecord firstRecord = record;

    first = 0xEE;
    EXPECT_EQ(store.ReadWorkDataRecord(1, 1, HistorySubCommand::kStop, first, second, record), 0);
    EXPECT_EQ(first, 0xEE);
    EXPECT_EQ(record, firstRecord);

    // An address no pack answers is not confirmed as ours: the stop is not
    // sent there at all, and the probe's silence is the result.
    EXPECT_EQ(store.ReadAlarmRecord(9, 9, HistorySubCommand::kStop, first, second, record), ResultCode::kNoAnswer);
    EXPECT_EQ(record, firstRecord);
}

// A log holding two identical records in a row, read from the simulated
// pack while one exchange fails: the repeat that answers a retry is dropped,
// the log's own repeat is kept.
TEST(HistoryTransfer, OnlyTheRepeatRightAfterAFailedExchangeIsDropped)
{
    SimulatedStore sim(FivePerLog());
    ASSERT_TRUE(sim.opened);
    const QDateTime when(QDate(2024, 3, 5), QTime(6, 7));
    const SimLiveState state;
    const QByteArray a = MakeHistoryRecord(1, when, state, 0);
    const QByteArray b = MakeHistoryRecord(1, when.addSecs(60), state, 0);
    const QByteArray c = MakeHistoryRecord(1, when.addSecs(120), state, 0);
    struct Case {
        const char* what;
        std::size_t failingExchange;   // counted from 0
        const char* fault;             // nullptr: none
    };
    const Case cases[] = {
        {"no failure", 0, nullptr},
        {"unheard request before the repeat", 1, "silent:1"},    // retry brings a again
        {"unheard request between the repeats", 2, "silent:1"},  // retry brings b again
        {"lost answer", 1, "badsum:1"},                          // the pack moved on to b
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        SharedSimBus()->setLog(1, false, {a, b, b, c});
        std::size_t exchanges = 0;
        HistoryTransfer reading(1, [&](std::uint8_t subCommand, std::uint8_t& first, std::uint8_t& second,
                                       RHistoryRecord& record) {
            if (exchanges++ == test.failingExchange && test.fault)
                SimulatedStore::AddFault(QString::fromLatin1(test.fault));
            const std::uint8_t result = sim.store->ReadWorkDataRecord(1, 1, subCommand, first, second, record);
            SharedSimBus()->clearFaults();
            return result;
        });
        std::vector<int> minutes;
        RHistoryRecord record;
        while (reading.Running())
            if (reading.Step(record))
                minutes.push_back(record.time.minute);
        EXPECT_TRUE(reading.Complete());
        EXPECT_EQ(minutes, (std::vector<int>{7, 8, 8, 9}));
    }
}

// The transfer's rules against a scripted pack: which sub-command follows
// which answer, and how it ends. Only the end mark makes a complete log.
TEST(HistoryTransfer, RulesOfATransfer)
{
    struct Answer {
        std::uint8_t result;
        int record;   // with result 0: the record's number, 0 for the end mark
    };
    const Answer end{ResultCode::kSuccess, 0};
    const Answer silence{ResultCode::kNoAnswer, 0};
    const Answer damaged{ResultCode::kBadChecksum, 0};
    auto record = [](int number) { return Answer{ResultCode::kSuccess, number}; };
    struct Case {
        const char* name;
        std::vector<Answer> answers;
        std::vector<std::uint8_t> subCommands;
        HistoryTransferEnd end;
        std::vector<int> records;
    };
    const std::vector<Answer> errors(HistoryTransfer::kFailureLimit, damaged);
    std::vector<std::uint8_t> retries(HistoryTransfer::kFailureLimit - 1, HistorySubCommand::kRetry);
    retries.insert(retries.begin(), HistorySubCommand::kFirst);
    retries.push_back(HistorySubCommand::kStop);
    const Case cases[] = {
        {"whole log", {record(1), damaged, record(2), end}, {0, 1, 2, 1}, HistoryTransferEnd::Complete, {1, 2}},
        {"pack falls silent", {record(1), silence, silence, silence}, {0, 1, 2, 2}, HistoryTransferEnd::NoAnswer, {1}},
        {"errors only", errors, retries, HistoryTransferEnd::Failed, {}},
        // A pack that did not hear the request answers the retry with the
        // record it sent last: kept once.
        {"unheard request", {record(1), silence, record(1), record(2), end}, {0, 1, 2, 1, 1},
         HistoryTransferEnd::Complete, {1, 2}},
        // A repeat that answers a request for the next record is the log's
        // own, also after an earlier failure.
        {"log's own repeat", {silence, record(1), record(1), record(2), end}, {0, 2, 1, 1, 1},
         HistoryTransferEnd::Complete, {1, 1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> sent;
        std::size_t next = 0;
        HistoryTransfer transfer(1, [&](std::uint8_t subCommand, std::uint8_t& first, std::uint8_t&,
                                        RHistoryRecord& out) -> std::uint8_t {
            sent.push_back(subCommand);
            if (subCommand == HistorySubCommand::kStop || next >= c.answers.size())
                return ResultCode::kSuccess;
            const Answer answer = c.answers[next++];
            if (answer.result != ResultCode::kSuccess)
                return answer.result;
            first = answer.record == 0 ? kHistoryEndOfLog : kHistoryRecordFollows;
            out.soc = std::uint8_t(answer.record);
            out.time = RDeviceTime{2024, 1, 1, 0, 0, std::uint8_t(answer.record)};
            return ResultCode::kSuccess;
        });
        std::vector<int> records;
        RHistoryRecord out;
        while (transfer.Running())
            if (transfer.Step(out))
                records.push_back(out.soc);
        EXPECT_EQ(sent, c.subCommands);
        EXPECT_EQ(transfer.End(), c.end);
        EXPECT_EQ(transfer.Complete(), c.end == HistoryTransferEnd::Complete);
        EXPECT_EQ(records, c.records);
        EXPECT_EQ(transfer.Records(), int(records.size()));
    }
}

// A page with a stop button keeps retrying a pack that answers with errors;
// only its stop ends the transfer, with one stop request.
TEST(HistoryTransfer, WithoutFailureLimitOnlyStopEndsAFailingTransfer)
{
    std::vector<std::uint8_t> sent;
    HistoryTransfer transfer(
        1,
        [&](std::uint8_t subCommand, std::uint8_t&, std::uint8_t&, RHistoryRecord&) -> std::uint8_t {
            sent.push_back(subCommand);
            return subCommand == HistorySubCommand::kStop ? ResultCode::kSuccess : ResultCode::kBadChecksum;
        },
        HistoryTransfer::kNoFailureLimit);
    RHistoryRecord record;
    for (int step = 0; step < 3 * HistoryTransfer::kFailureLimit; ++step)
        EXPECT_FALSE(transfer.Step(record));
    EXPECT_TRUE(transfer.Running());
    EXPECT_EQ(transfer.SubCommand(), HistorySubCommand::kRetry);
    EXPECT_EQ(transfer.LastResult(), ResultCode::kBadChecksum);
    transfer.Stop();
    transfer.Stop();
    EXPECT_EQ(transfer.End(), HistoryTransferEnd::Stopped);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), HistorySubCommand::kStop), 1);
}
