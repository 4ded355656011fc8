// Reading, comparing and writing the parameter sets of many packs.
#include "store/bus_jobs.h"

#include "params/parameter_block.h"
#include "params/parameter_commands.h"
#include "params/parameter_compare.h"
#include "store/devinfo.h"

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

// The pack's set as it holds it now; 0 on success.
std::uint8_t ReadOwnSet(TDevInfo& store, const RParameter& blank, std::uint8_t pack, RParameter& set)
{
    set = blank;
    set.PackNumber = pack;
    const std::uint8_t result = store.ReadParameters(pack, pack, set);
    if (result == 0)
        store.StoreParameters(set);
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

const RPackParameters* RParameterSets::find(std::uint8_t pack) const
{
    for (const RPackParameters& entry : packs)
        if (entry.pack == pack)
            return &entry;
    return nullptr;
}

std::vector<std::uint8_t> RParameterSets::failed() const
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
    const int total = int(packs.size());
    for (int k = 0; k < total; ++k) {
        if (control.isCancelled()) {
            sets.cancelled = true;
            break;
        }
        control.report(k, total, QStringLiteral("%1").arg(packs[std::size_t(k)]));
        RPackParameters entry;
        entry.pack = packs[std::size_t(k)];
        entry.result = ReadOwnSet(store, blank, entry.pack, entry.set);
        sets.packs.push_back(std::move(entry));
    }
    control.report(int(sets.packs.size()), total, QString());
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
    return !cancelled && notDone.empty()
        && std::all_of(packs.begin(), packs.end(), [](const RPackWriteOutcome& pack) { return pack.ok(); });
}

RBatchWriteReport WriteParameterSets(TDevInfo& store, const std::vector<std::uint8_t>& packs,
                                     const RParameterSource& source, std::uint8_t language,
                                     const RBusControl& control)
{
    const RParameter blank = BlankSet();
    RBatchWriteReport report;
    const int total = int(packs.size());
    for (int k = 0; k < total; ++k) {
        const std::uint8_t pack = packs[std::size_t(k)];
        if (control.isCancelled()) {
            report.cancelled = true;
            report.notDone.assign(packs.begin() + k, packs.end());
            break;
        }
        control.report(k, total, QString::number(pack));
        RPackWriteOutcome outcome;
        outcome.pack = pack;
        RParameter own;
        outcome.result = ReadOwnSet(store, blank, pack, own);
        if (outcome.result != 0) {
            outcome.step = RBatchStep::ReadFailed;
            report.packs.push_back(std::move(outcome));
            continue;
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
            report.packs.push_back(std::move(outcome));
            continue;
        }
        const RParameterWriteResult written = store.WriteParameters(pack, pack, target, false);
        if (!written.ok()) {
            outcome.step = RBatchStep::WriteFailed;
            outcome.result = written.result;
            report.packs.push_back(std::move(outcome));
            continue;
        }
        RParameter readBack;
        outcome.result = ReadOwnSet(store, blank, pack, readBack);
        if (outcome.result == 0)
            outcome.mismatchIds = FieldsNotAsWritten(target, readBack);
        outcome.step = outcome.result == 0 && outcome.mismatchIds.empty() ? RBatchStep::Written
                                                                          : RBatchStep::VerifyFailed;
        report.packs.push_back(std::move(outcome));
    }
    control.report(int(report.packs.size()), total, QString());
    return report;
}
