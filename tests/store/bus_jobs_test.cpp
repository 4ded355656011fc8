// The bus-wide jobs on the in-process packs: comparing finds exactly the
// parameters changed, a batch write gives every pack the values with its own
// address and node number (checked in the bytes sent), skips a silent pack
// and never sends a block that fails the range checks, the clock sync
// reports each pack's offset, and a stopped log read sends one stop request.
// A job has the link to itself while the poller waits on a dead pack: every
// pack is asked, or named as not tried, never "no answer" unasked.

#include "params/parameter_block.h"
#include "protocol/result_codes.h"
#include "sim_store.h"
#include "services/settings.h"
#include "store/bus_jobs.h"
#include "store/pack_poller.h"

#include <QDateTime>
#include <QDeadlineTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

constexpr std::uint8_t kWriteParametersCid2 = 0x49;
constexpr std::uint8_t kAlarmRecordCid2 = 0x4C;
constexpr std::uint8_t kReadDateTimeCid2 = 0x4D;
constexpr std::uint8_t kAddressId = 1;
constexpr std::uint8_t kNodeId = 11;

RParameter ReadSet(TDevInfo& store, std::uint8_t pack)
{
    RParameter set = store.ParameterInfo().NewParameterSet(pack);
    EXPECT_EQ(store.ReadParameters(pack, pack, set), 0) << "pack " << int(pack);
    return set;
}

void WriteValues(TDevInfo& store, std::uint8_t pack, const std::vector<std::pair<std::uint8_t, Decimal>>& values)
{
    RParameter set = ReadSet(store, pack);
    for (const auto& [id, value] : values)
        set.Entries[id].Value = value;
    ASSERT_TRUE(store.WriteParameters(pack, pack, set, false).ok()) << "pack " << int(pack);
}

// Every pack gets a node number of its own, as on a real rack.
void NumberNodes(TDevInfo& store, int packs)
{
    for (int pack = 1; pack <= packs; ++pack)
        WriteValues(store, std::uint8_t(pack), {{kNodeId, Decimal::fromInt(pack)}});
}

std::vector<std::uint8_t> Packs(std::initializer_list<int> numbers)
{
    std::vector<std::uint8_t> packs;
    for (int number : numbers)
        packs.push_back(std::uint8_t(number));
    return packs;
}

TEST(BusJobs, CompareFindsExactlyTheChangedParametersAndNeverAddressOrNode)
{
    SimulatedStore sim;
    ASSERT_TRUE(sim.opened);
    NumberNodes(*sim.store, 4);
    WriteValues(*sim.store, 3, {{23, Decimal::fromInt(3450)}, {30, Decimal::fromInt(3610)}});

    const RParameterSets sets = ReadParameterSets(*sim.store, Packs({1, 2, 3, 4}), {});
    ASSERT_EQ(sets.packs.size(), 4u);
    EXPECT_TRUE(sets.failed().empty());
    const std::vector<RCompareRow> rows = CompareParameterSets(sets.packs[0].set, {}, sets.packs);

    std::vector<std::pair<int, std::vector<bool>>> differing;
    int addressRows = 0;
    for (const RCompareRow& row : rows) {
        if (row.anyDiffers())
            differing.emplace_back(row.id, row.differs);
        if (row.id == kAddressId || row.id == kNodeId) {
            ++addressRows;
            EXPECT_TRUE(row.perPack);
            // They do differ, and are shown, but never count.
            EXPECT_NE(row.values[0], row.values[2]);
        }
    }
    EXPECT_EQ(addressRows, 2);
    const std::vector<bool> onlyPack3 = {false, false, true, false};
    EXPECT_EQ(differing, (std::vector<std::pair<int, std::vector<bool>>>{{23, onlyPack3}, {30, onlyPack3}}));

    // A file as reference: only the ids it names are compared.
    RParameter reference = sets.packs[0].set;
    const std::vector<RCompareRow> fileRows = CompareParameterSets(reference, {23}, sets.packs);
    int fileDiffers = 0;
    for (const RCompareRow& row : fileRows)
        fileDiffers += row.anyDiffers() ? 1 : 0;
    EXPECT_EQ(fileDiffers, 1);
}

TEST(BusJobs, BatchWriteKeepsEachPacksAddressAndNodeAndSkipsASilentPack)
{
    SimulatedStore sim;
    ASSERT_TRUE(sim.opened);
    NumberNodes(*sim.store, 4);
    SimulatedStore::AddFault(QStringLiteral("silent:3"));
    SharedSimBus()->clearRequests();

    // The file names the address and the node number too: they stay each pack's.
    RParameterSource source;
    source.lines = {{2, kAddressId, Decimal::fromInt(9)},
                    {3, kNodeId, Decimal::fromInt(9)},
                    {4, 23, Decimal::fromInt(3450)},
                    {5, 30, Decimal::fromInt(3610)}};
    const RBatchWriteReport report = WriteParameterSets(*sim.store, Packs({1, 2, 3, 4}), source, 1, {});

    ASSERT_EQ(report.packs.size(), 4u);
    EXPECT_FALSE(report.allWritten());
    for (const RPackWriteOutcome& outcome : report.packs) {
        if (outcome.pack == 3) {
            EXPECT_EQ(outcome.step, RBatchStep::ReadFailed);
            EXPECT_EQ(outcome.result, ResultCode::kNoAnswer);
        } else {
            EXPECT_EQ(outcome.step, RBatchStep::Written) << int(outcome.pack);
            EXPECT_EQ(outcome.changedIds, (std::vector<std::uint8_t>{23, 30}));
        }
    }

    std::vector<int> writtenTo;
    for (const SimRequest& request : SharedSimBus()->requests()) {
        if (request.cid2 != kWriteParametersCid2)
            continue;
        writtenTo.push_back(request.address);
        RParameter sent = sim.store->ParameterInfo().NewParameterSet(request.address);
        DecodeParameterBlock(request.info, sent);
        EXPECT_EQ(sent.Entries[kAddressId].Value, Decimal::fromInt(request.address));
        EXPECT_EQ(sent.Entries[kNodeId].Value, Decimal::fromInt(request.address));
        EXPECT_EQ(sent.Entries[23].Value, Decimal::fromInt(3450));
        EXPECT_EQ(sent.Entries[30].Value, Decimal::fromInt(3610));
    }
    EXPECT_EQ(writtenTo, (std::vector<int>{1, 2, 4}));
}

TEST(BusJobs, BatchRefusesAPackHoldingAnOutOfRangeValueAndCancelLeavesTheRestUntouched)
{
    SimulatedStore sim;
    ASSERT_TRUE(sim.opened);
    // Pack 3 holds a node number above the catalogue's 1..16: the pack took
    // it, but the parameter page would write no block that carries it, and
    // neither may the batch (the node number stays the pack's own).
    WriteValues(*sim.store, 3, {{kNodeId, Decimal::fromInt(20)}});
    SharedSimBus()->clearRequests();

    RParameterSource source;
    source.lines = {{2, 23, Decimal::fromInt(3450)}};
    const RBatchWriteReport report = WriteParameterSets(*sim.store, Packs({1, 3}), source, 1, {});
    ASSERT_EQ(report.packs.size(), 2u);
    EXPECT_EQ(report.packs[0].step, RBatchStep::Written);
    EXPECT_EQ(report.packs[1].step, RBatchStep::Refused);
    EXPECT_EQ(report.packs[1].refusedId, std::optional<std::uint8_t>(kNodeId));
    EXPECT_EQ(report.packs[1].refusedName, QStringLiteral("Battery node number"));
    for (const SimRequest& request : SharedSimBus()->requests()) {
        if (request.cid2 == kWriteParametersCid2) {
            EXPECT_EQ(request.address, 1);
        }
    }
    EXPECT_EQ(SharedSimBus()->requestCount(kWriteParametersCid2), 1);

    // Cancelled once the first pack is done: the others are named, not touched.
    source.lines = {{2, 23, Decimal::fromInt(3460)}};
    int asked = 0;
    const RBusControl control{[&asked] { return ++asked > 1; }, {}};
    const RBatchWriteReport cancelled = WriteParameterSets(*sim.store, Packs({1, 2, 4}), source, 1, control);
    EXPECT_TRUE(cancelled.cancelled);
    ASSERT_EQ(cancelled.packs.size(), 1u);
    EXPECT_TRUE(cancelled.packs[0].ok());
    EXPECT_EQ(cancelled.notDone, Packs({2, 4}));
    EXPECT_EQ(ReadSet(*sim.store, 1).Entries[23].Value, Decimal::fromInt(3460));
    EXPECT_EQ(ReadSet(*sim.store, 2).Entries[23].Value, Decimal::fromInt(3400));
}

TEST(BusJobs, AWriteWhoseAnswerIsLostIsJudgedByWhatThePackHolds)
{
    // A batch write to one pack answers three times: its read, the write and
    // the read-back. The faults hit the second answer only.
    struct Case {
        QStringList faults;
        RBatchStep step;
        int held;            // id 23 as the pack holds it afterwards
        int fieldsChanged;
    };
    const Case cases[] = {
        {{QStringLiteral("wrongaddr:2")}, RBatchStep::WrittenAnswerLost, 3450, 1},
        {{QStringLiteral("truncate:2")}, RBatchStep::WrittenAnswerLost, 3450, 1},
        // The pack refuses it, and that answer is garbled: nothing written.
        {{QStringLiteral("rtn:49:04"), QStringLiteral("wrongaddr:2")}, RBatchStep::NotWritten, 3400, 0},
    };
    for (const Case& c : cases) {
        SimulatedStore sim;
        ASSERT_TRUE(sim.opened);
        // Known as ours: no family probe takes one of the three answers.
        sim.store->PinFamily(1, PackFamily::Ours);
        for (const QString& fault : c.faults)
            SimulatedStore::AddFault(fault);
        RParameterSource source;
        source.lines = {{2, 23, Decimal::fromInt(3450)}};
        const RBatchWriteReport report = WriteParameterSets(*sim.store, Packs({1}), source, 1, {});
        const QString name = c.faults.join(u' ');
        ASSERT_EQ(report.packs.size(), 1u) << name.toStdString();
        const RPackWriteOutcome& outcome = report.packs[0];
        EXPECT_EQ(outcome.step, c.step) << name.toStdString();
        EXPECT_EQ(outcome.ok() ? int(outcome.changedIds.size()) : 0, c.fieldsChanged) << name.toStdString();
        EXPECT_EQ(report.allWritten(), c.fieldsChanged > 0) << name.toStdString();
        SharedSimBus()->clearFaults();
        EXPECT_EQ(ReadSet(*sim.store, 1).Entries[23].Value, Decimal::fromInt(c.held)) << name.toStdString();
        // Written or not, the pack's set must be read again before a write.
        EXPECT_FALSE(sim.store->ParametersReadMark(1).writable) << name.toStdString();
    }
}

TEST(BusJobs, PacksNeverAskedAreNotTriedOrPortLostAndNeverNoAnswer)
{
    SimulatedStore sim;
    ASSERT_TRUE(sim.opened);
    int asked = 0;
    const RBusControl cancelAfterOne{[&asked] { return ++asked > 1; }, {}};
    const RParameterSets sets = ReadParameterSets(*sim.store, Packs({1, 2, 3}), cancelAfterOne);
    EXPECT_TRUE(sets.cancelled);
    std::vector<RPackReach> reaches;
    for (const RPackParameters& entry : sets.packs)
        reaches.push_back(entry.reach);
    EXPECT_EQ(reaches, (std::vector<RPackReach>{RPackReach::Asked, RPackReach::NotTried, RPackReach::NotTried}));
    EXPECT_TRUE(sets.failed().empty());
    EXPECT_EQ(sets.notRead(), Packs({2, 3}));
    EXPECT_TRUE(sim.store->ParametersReadMark(1).writable);

    // The port gone: nothing is sent, and every pack says so.
    sim.store->CloseSerial(1);
    SharedSimBus()->clearRequests();
    RParameterSource source;
    source.lines = {{2, 23, Decimal::fromInt(3450)}};
    const RBatchWriteReport report = WriteParameterSets(*sim.store, Packs({1, 2}), source, 1, {});
    EXPECT_TRUE(report.portLost);
    EXPECT_TRUE(report.packs.empty());
    EXPECT_EQ(report.notDone, Packs({1, 2}));
    EXPECT_EQ(report.loop.packsWith(RPackReach::PortLost), Packs({1, 2}));
    const RParameterSets unread = ReadParameterSets(*sim.store, Packs({4}), {});
    EXPECT_TRUE(unread.portLost);
    EXPECT_TRUE(unread.failed().empty());
    EXPECT_TRUE(SharedSimBus()->requests().empty());
}

TEST(BusJobs, ClockSyncShowsEachOffsetAndSetsEachClock)
{
    SimulatedStore sim;
    ASSERT_TRUE(sim.opened);
    const QDateTime now = QDateTime::currentDateTime();
    const std::vector<qint64> offsets = {3600, -125, 0};
    for (std::size_t k = 0; k < offsets.size(); ++k)
        ASSERT_EQ(sim.store->WriteDateTime(std::uint8_t(k + 1), RDeviceTime::fromDateTime(now.addSecs(offsets[k]))), 0);

    const RClockSyncReport report = SyncClocks(*sim.store, Packs({1, 2, 3}), {});
    ASSERT_EQ(report.packs.size(), 3u);
    for (std::size_t k = 0; k < offsets.size(); ++k) {
        const RClockOutcome& outcome = report.packs[k];
        EXPECT_TRUE(outcome.ok());
        ASSERT_TRUE(outcome.offsetSeconds.has_value());
        // The clocks tick on while the packs answer: a few seconds' slack.
        EXPECT_NEAR(double(*outcome.offsetSeconds), double(offsets[k]), 3.0) << "pack " << k + 1;
        RDeviceTime after;
        ASSERT_EQ(sim.store->ReadDateTime(std::uint8_t(k + 1), after), 0);
        const std::optional<qint64> left = ClockOffsetSeconds(after, TDevInfo::GetPcTime());
        ASSERT_TRUE(left.has_value());
        EXPECT_LE(std::abs(*left), 3);
    }
    EXPECT_FALSE(ClockOffsetSeconds(RDeviceTime{2024, 0, 1, 0, 0, 0}, TDevInfo::GetPcTime()).has_value());
}

TEST(BusJobs, PackLogReadsEveryRecordAndAStopSendsOneStopRequest)
{
    SimOptions options;
    options.recordsPerLog = 6;
    SimulatedStore sim(options);
    ASSERT_TRUE(sim.opened);

    std::vector<int> rows;
    const RPackLogOutcome whole = ReadPackLog(*sim.store, 2, true, {}, [&rows](int row, const RHistoryRecord& record, const QString&) {
        rows.push_back(row);
        EXPECT_EQ(record.packNumber, 2);
        return true;
    });
    EXPECT_EQ(whole.end, HistoryTransferEnd::Complete);
    EXPECT_EQ(whole.records, 6);
    EXPECT_EQ(rows, (std::vector<int>{1, 2, 3, 4, 5, 6}));
    EXPECT_FALSE(whole.deviceCode.isEmpty());

    SharedSimBus()->clearRequests();
    int records = 0;
    const RBusControl control{[&records] { return records >= 2; }, {}};
    const RPackLogOutcome stopped = ReadPackLog(*sim.store, 1, true, control, [&records](int, const RHistoryRecord&, const QString&) {
        ++records;
        return true;
    });
    EXPECT_EQ(stopped.end, HistoryTransferEnd::Stopped);
    EXPECT_EQ(stopped.records, 2);
    EXPECT_EQ(SharedSimBus()->requestCount(kAlarmRecordCid2, HistorySubCommand::kStop), 1);

    SimulatedStore::AddFault(QStringLiteral("silent:3"));
    const RPackLogOutcome silent = ReadPackLog(*sim.store, 3, true, {}, {});
    EXPECT_EQ(silent.end, HistoryTransferEnd::NoAnswer);
    EXPECT_EQ(silent.records, 0);
}

qint64 RequestsTo(std::uint8_t address, std::uint8_t cid2)
{
    qint64 count = 0;
    for (const SimRequest& request : SharedSimBus()->requests())
        count += request.address == address && request.cid2 == cid2;
    return count;
}

TEST(BusJobs, AClockSyncAsksEveryPackWhileThePollerWaitsOnADeadOne)
{
    SimulatedStore sim;
    ASSERT_TRUE(sim.opened);
    SimulatedStore::AddFault(QStringLiteral("silent:1"));
    // A rack of our own packs, one of them dead: the clock read goes to it.
    for (std::uint8_t address = 1; address <= 4; ++address)
        sim.store->PinFamily(address, PackFamily::Ours);
    AppGlobals globals;
    globals.PortNumber = 1;
    globals.PackCount = 4;
    globals.SelectedPack = globals.SelectedAddress = 1;
    sim.store->SelectPack(1);
    SilentPollView view;
    std::atomic<bool> stop{false};
    PackPoller poller(*sim.store, globals, view, [&stop] { return stop.load(); });
    std::thread polling([&] {
        while (!stop)
            poller.RunPass();
    });
    using enum RPackReach;
    const struct {
        const char* name;
        int cancelAfterPacks;   // -1: never
        std::vector<RPackReach> reach;
    } cases[] = {
        {"whole run", -1, {Asked, Asked, Asked, Asked}},
        {"cancel after two", 2, {Asked, Asked, NotTried, NotTried}},
        {"cancel at once", 0, {NotTried, NotTried, NotTried, NotTried}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Each job starts while the poller has closed the port to reopen it
        // after the silent pack: the worst moment.
        const QDeadlineTimer deadline(20000);
        while (sim.store->IsLinkOpen() && !deadline.hasExpired())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_FALSE(sim.store->IsLinkOpen());
        SharedSimBus()->clearRequests();
        int packsStarted = 0;
        const RBusControl control{[&] { return c.cancelAfterPacks >= 0 && packsStarted >= c.cancelAfterPacks; },
                                  [&](int, int, const QString& what) { packsStarted += !what.isEmpty(); }};
        const RClockSyncReport report = SyncClocks(*sim.store, Packs({1, 2, 3, 4}), control);
        ASSERT_EQ(report.packs.size(), 4u);
        EXPECT_FALSE(report.portLost);
        for (std::size_t k = 0; k < 4; ++k) {
            const RClockOutcome& outcome = report.packs[k];
            EXPECT_EQ(outcome.reach, c.reach[k]) << "pack " << int(outcome.pack);
            EXPECT_EQ(outcome.asked, outcome.reach == RPackReach::Asked);
            // Never "no answer" without a request: the silent pack 1 was
            // really asked, the others answered.
            EXPECT_EQ(RequestsTo(outcome.pack, kReadDateTimeCid2) > 0, outcome.asked) << "pack " << int(outcome.pack);
            EXPECT_EQ(outcome.ok(), outcome.asked && outcome.pack != 1) << "pack " << int(outcome.pack);
        }
    }
    stop = true;
    polling.join();
}

} // namespace
