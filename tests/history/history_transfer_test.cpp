#include "store/sim_store.h"

#include "history/history_record.h"
#include "history/history_transfer.h"
#include "protocol/result_codes.h"

#include <gtest/gtest.h>

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

    // Also when no pack answers at all.
    EXPECT_EQ(store.ReadAlarmRecord(9, 9, HistorySubCommand::kStop, first, second, record), 0);
    EXPECT_EQ(record, firstRecord);
}

// The transfer's rules against a scripted pack: which sub-command follows
// which answer, and how it ends. Only the end mark makes a complete log.
TEST(HistoryTransfer, RulesOfATransfer)
{
    constexpr std::uint8_t kRecord = 0xF0;   // a good answer with a record
    constexpr std::uint8_t kEnd = 0xF1;      // a good answer with the end mark
    struct Case {
        const char* name;
        std::vector<std::uint8_t> answers;   // kRecord, kEnd or a result code
        std::vector<std::uint8_t> subCommands;
        HistoryTransferEnd end;
        int records;
    };
    const std::vector<std::uint8_t> tenErrors(HistoryTransfer::kFailureLimit, ResultCode::kBadChecksum);
    std::vector<std::uint8_t> tenRetries(HistoryTransfer::kFailureLimit - 1, HistorySubCommand::kRetry);
    tenRetries.insert(tenRetries.begin(), HistorySubCommand::kFirst);
    tenRetries.push_back(HistorySubCommand::kStop);
    const Case cases[] = {
        {"whole log", {kRecord, ResultCode::kBadChecksum, kRecord, kEnd}, {0, 1, 2, 1}, HistoryTransferEnd::Complete, 2},
        {"pack falls silent",
         {kRecord, ResultCode::kNoAnswer, ResultCode::kNoAnswer, ResultCode::kNoAnswer},
         {0, 1, 2, 2},
         HistoryTransferEnd::NoAnswer,
         1},
        {"errors only", tenErrors, tenRetries, HistoryTransferEnd::Failed, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> sent;
        std::size_t next = 0;
        HistoryTransfer transfer(1, [&](std::uint8_t subCommand, std::uint8_t& first, std::uint8_t&,
                                        RHistoryRecord& record) -> std::uint8_t {
            sent.push_back(subCommand);
            if (subCommand == HistorySubCommand::kStop || next >= c.answers.size())
                return ResultCode::kSuccess;
            const std::uint8_t answer = c.answers[next++];
            if (answer != kRecord && answer != kEnd)
                return answer;
            first = answer == kRecord ? kHistoryRecordFollows : kHistoryEndOfLog;
            record.soc = std::uint8_t(next);
            return ResultCode::kSuccess;
        });
        RHistoryRecord record;
        while (transfer.Running())
            transfer.Step(record);
        EXPECT_EQ(sent, c.subCommands);
        EXPECT_EQ(transfer.End(), c.end);
        EXPECT_EQ(transfer.Complete(), c.end == HistoryTransferEnd::Complete);
        EXPECT_EQ(transfer.Records(), c.records);
    }
}
