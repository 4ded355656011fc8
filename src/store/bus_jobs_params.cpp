// Reading, comparing and writing the parameter sets of many packs.
#include "store/bus_jobs.h"

#include "params/parameter_block.h"
#include "params/parameter_commands.h"
#include "params/parameter_compare.h"
#include "protocol/result_codes.h"
#include "store/devinfo.h"

#include <QDateTime>

#include <algorithm>

namespace {

// Every field of the block that the read-back must show as written.
bool InBlock(const RParameter& set, int position)
{
    const auto& uncatalogued = kUncataloguedBlockIds;
    return set.Entries[std::size_t(position)].Used != 0
        || std::find(uncatalogued.begin(), uncatalogued.end(), std::uint8_t(position)) != uncatalogued.end();
}

std::vector<std::uint8_t> FieldsNotAsWritten(const RParameter& written, const RParameter& readBack)
{
    std::vector<std::uint8_t> ids;
    for (int position = 0; position < kParameterPositions; ++position) {
        if (InBlock(written, position)
            && written.Entries[std::size_t(position)].Value != readBack.Entries[std::size_t(position)].Value)
            ids.push_back(std::uint8_t(position));
    }
    return ids;
}

// The set as the block carries it: a fraction typed for a whole number goes
// out rounded, so that is what a read-back can show.
RParameter AsCarried(const RParameter& set)
{
    RParameter carried = set;
    DecodeParameterBlock(EncodeParameterBlock(set, false), carried);
    return carried;
}

// The pack's set as it holds it now; 0 on success. A set read before a
// write may be written back, so it is marked read; a read-back after a
// write is filed but never makes the pack writable again.
enum class ReadMark : std::uint8_t { Read, ReadBack };

std::uint8_t ReadOwnSet(TDevInfo& store, const RParameter& blank, std::uint8_t pack, RParameter& set, ReadMark mark)
{
    set = blank;
    set.PackNumber = pack;
    const std::uint8_t result = store.ReadParameters(pack, pack, set);
    if (result == 0)
        store.StoreParameters(set);
    if (result == 0 && mark == ReadMark::Read)
        store.MarkParametersRead(pack, QDateTime::currentDateTime());
    else
        store.MarkParametersUnread(pack);
    return result;
}

RParameter BlankSet()
{
    // A catalogue of the job's own: the store's belongs to the window's thread.
    TParameterInfo catalogue;
    catalogue.InitCatalogue();
    return catalogue.NewParameterSet(0);
}

} // namespace

std::vector<std::uint8_t> RParameterSets::failed() const
{
    std::vector<std::uint8_t> numbers;
    for (const RPackParameters& entry : packs)
        if (entry.result != 0 && entry.reach == RPackReach::Asked)
            numbers.push_back(entry.pack);
    return numbers;
}

std::vector<std::uint8_t> RParameterSets::notRead() const
{
    std::vector<std::uint8_t> numbers;
    for (const RPackParameters& entry : packs)
        if (entry.result != 0)
            numbers.push_back(entry.pack);
    return numbers;
}

RParameterSets ReadParameterSets(TDevInfo& store, const std::vector<std::uint8_t>& packs, const RBusControl& control)
{
    const RParameter blank = BlankSet();
    RParameterSets sets;
    std::vector<RPackParameters> asked;
    const RPackLoopResult loop = ForEachPack(store, packs, control, [&](std::uint8_t pack, int) {
        RPackParameters entry;
        entry.pack = pack;
        entry.result = ReadOwnSet(store, blank, pack, entry.set, ReadMark::Read);
        asked.push_back(std::move(entry));
        return asked.back().result == 0;
    });
    for (const RPackVisit& visit : loop.visits) {
        const auto found = std::find_if(asked.begin(), asked.end(),
                                        [&visit](const RPackParameters& entry) { return entry.pack == visit.pack; });
        RPackParameters entry;
        if (found != asked.end())
            entry = std::move(*found);
        entry.pack = visit.pack;
        entry.reach = visit.reach;
        sets.packs.push_back(std::move(entry));
    }
    sets.cancelled = loop.cancelled;
    sets.portLost = loop.portLost;
    return sets;
}

bool RCompareRow::anyDiffers() const
{
    return std::find(differs.begin(), differs.end(), true) != differs.end();
}

std::vector<RCompareRow> CompareParameterSets(const RParameter& reference, const std::vector<std::uint8_t>& referenceIds,
                                              const std::vector<RPackParameters>& packs)
{
    std::vector<const RPackParameters*> read;
    for (const RPackParameters& entry : packs)
        if (entry.result == 0)
            read.push_back(&entry);
    std::vector<std::vector<std::uint8_t>> differing;
    for (const RPackParameters* entry : read)
        differing.push_back(DifferingParameters(reference, entry->set));

    std::vector<RCompareRow> rows;
    for (int position = 0; position < kParameterPositions; ++position) {
        const RParameterKind& entry = reference.Entries[std::size_t(position)];
        if (entry.Used == 0)
            continue;
        RCompareRow row;
        row.id = std::uint8_t(position);
        row.perPack = IsPerPackParameter(row.id);
        row.referenced = referenceIds.empty()
            || std::find(referenceIds.begin(), referenceIds.end(), row.id) != referenceIds.end();
        for (std::size_t k = 0; k < read.size(); ++k) {
            row.values.push_back(read[k]->set.Entries[std::size_t(position)].Value);
            const auto& ids = differing[k];
            row.differs.push_back(row.referenced && std::binary_search(ids.begin(), ids.end(), row.id));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

RParameter TargetParameterSet(const RParameter& own, const RParameterSource& source)
{
    if (source.set)
        return TakeSharedParameters(own, *source.set);
    RParameter wanted = own;
    ApplyParameterLines(source.lines, wanted);
    // The file may name the address or the node number: they stay the pack's.
    return TakeSharedParameters(own, wanted);
}

bool RBatchWriteReport::allWritten() const
{
    return !cancelled && !portLost && notDone.empty()
        && std::all_of(packs.begin(), packs.end(), [](const RPackWriteOutcome& pack) { return pack.ok(); });
}

bool WriteAnswerLost(std::uint8_t result)
{
    switch (result) {
    case ResultCode::kBadChecksum:
    case ResultCode::kBadLengthChecksum:
    case ResultCode::kBadFrame:
    case ResultCode::kInvalidData:
    case ResultCode::kWrongAddress:
    case ResultCode::kIncomplete:
    case ResultCode::kTooShort:
    case ResultCode::kNoAnswer:
        return true;
    default:
        return false;
    }
}

RVerifiedWrite WriteParametersVerified(TDevInfo& store, std::uint8_t pack, const RParameter& before,
                                       const RParameter& target, bool restoreDefaults)
{
    RVerifiedWrite outcome;
    const RParameterWriteResult written = store.WriteParameters(pack, pack, target, restoreDefaults);
    outcome.writeResult = written.result;
    outcome.rejectedId = written.rejectedId;
    const bool lost = WriteAnswerLost(written.result);
    if (written.ok() || lost) {
        // What the pack holds now decides, whatever its answer said.
        outcome.readBackResult = ReadOwnSet(store, BlankSet(), pack, outcome.readBack, ReadMark::ReadBack);
        if (outcome.readBackResult == 0 && !restoreDefaults)
            outcome.mismatchIds = FieldsNotAsWritten(AsCarried(target), outcome.readBack);
        const bool asSent = outcome.readBackResult == 0 && outcome.mismatchIds.empty();
        if (written.ok())
            outcome.verdict = asSent || restoreDefaults ? RWriteVerdict::Written : RWriteVerdict::Unverified;
        else if (restoreDefaults || outcome.readBackResult != 0)
            outcome.verdict = RWriteVerdict::Unverified;
        else if (asSent)
            outcome.verdict = RWriteVerdict::WrittenAnswerLost;
        else if (FieldsNotAsWritten(AsCarried(before), outcome.readBack).empty())
            outcome.verdict = RWriteVerdict::NotWritten;
        else
            outcome.verdict = RWriteVerdict::Unverified;
    }
    store.MarkParametersUnread(pack);
    return outcome;
}

namespace {

RBatchStep StepOf(RWriteVerdict verdict)
{
    switch (verdict) {
    case RWriteVerdict::Written: return RBatchStep::Written;
    case RWriteVerdict::WrittenAnswerLost: return RBatchStep::WrittenAnswerLost;
    case RWriteVerdict::NotWritten: return RBatchStep::NotWritten;
    case RWriteVerdict::Failed: return RBatchStep::WriteFailed;
    case RWriteVerdict::Unverified: return RBatchStep::VerifyFailed;
    }
    return RBatchStep::WriteFailed;
}

RPackWriteOutcome WriteOnePack(TDevInfo& store, const RParameter& blank, std::uint8_t pack,
                               const RParameterSource& source, std::uint8_t language)
{
    RPackWriteOutcome outcome;
    outcome.pack = pack;
    RParameter own;
    outcome.result = ReadOwnSet(store, blank, pack, own, ReadMark::Read);
    if (outcome.result != 0) {
        outcome.step = RBatchStep::ReadFailed;
        return outcome;
    }
    const RParameter target = TargetParameterSet(own, source);
    outcome.changedIds = DifferingParameters(own, target);
    // The checks of the parameter page: the catalogue's ranges, then
    // whether every value fits its field on the wire.
    std::optional<std::uint8_t> refused;
    if (const std::optional<RParameterKind> entry = TParameterInfo::FirstOutOfRange(target))
        refused = entry->Id;
    else
        refused = FindUnfitParameter(target);
    if (refused) {
        outcome.step = RBatchStep::Refused;
        outcome.refusedId = refused;
        outcome.refusedName = target.Entries[*refused].Names[language > 0 ? 1 : 0];
        if (outcome.refusedName.isEmpty())
            outcome.refusedName = QString::number(*refused);
        return outcome;
    }
    const RVerifiedWrite written = WriteParametersVerified(store, pack, own, target, false);
    outcome.step = StepOf(written.verdict);
    outcome.mismatchIds = written.mismatchIds;
    if (written.readBackResult == 0)
        outcome.readBack = written.readBack;
    // The failing command's code: the read-back's when only that failed
    // (0 when it read but differs), the write's otherwise.
    outcome.result = outcome.step == RBatchStep::VerifyFailed ? std::uint8_t(written.readBackResult == 0xFF ? 0 : written.readBackResult)
                                                              : written.writeResult;
    return outcome;
}

} // namespace

RBatchWriteReport WriteParameterSets(TDevInfo& store, const std::vector<std::uint8_t>& packs,
                                     const RParameterSource& source, std::uint8_t language,
                                     const RBusControl& control)
{
    const RParameter blank = BlankSet();
    RBatchWriteReport report;
    report.loop = ForEachPack(store, packs, control, [&](std::uint8_t pack, int) {
        report.packs.push_back(WriteOnePack(store, blank, pack, source, language));
        return report.packs.back().ok();
    });
    for (RPackWriteOutcome& outcome : report.packs)
        outcome.reach = report.loop.reachOf(outcome.pack);
    for (const RPackVisit& visit : report.loop.visits)
        if (visit.reach != RPackReach::Asked
            && std::none_of(report.packs.begin(), report.packs.end(),
                            [&visit](const RPackWriteOutcome& outcome) { return outcome.pack == visit.pack; }))
            report.notDone.push_back(visit.pack);
    report.cancelled = report.loop.cancelled;
    report.portLost = report.loop.portLost;
    return report;
}
