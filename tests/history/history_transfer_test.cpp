#include "store/sim_store.h"

#include "history/history_record.h"
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

// Reads a whole log the way the record pages do: first, then next after
// every good answer and retry after every failed one, until the end mark.
Transfer ReadLog(TDevInfo& store, Reader read, std::uint8_t pack, int maxRequests = 200)
{
    Transfer transfer;
    std::uint8_t subCommand = HistorySubCommand::kFirst;
    for (int request = 0; request < maxRequests; ++request) {
        RHistoryRecord record;
        TDevInfo::InitWorkDataRecord(pack, record);
        std::uint8_t first = 0xEE;
        std::uint8_t second = 0xEE;
        const std::uint8_t result = (store.*read)(pack, pack, subCommand, first, second, record);
        if (result != ResultCode::kSuccess) {
            transfer.failures.push_back(result);
            subCommand = HistorySubCommand::kRetry;
            continue;
        }
        if (first == kHistoryEndOfLog) {
            transfer.ended = true;
            break;
        }
        EXPECT_EQ(first, kHistoryRecordFollows);
        transfer.records.push_back(record);
        subCommand = HistorySubCommand::kNext;
    }
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
