// The family side of TDevOper: the registry of what is known of each
// address's family, the guard every command passes, detection by reads, and
// the reads in another family's own request form.
//
// Lock order: the link lock, then the family lock. The family lock is held
// only to copy a state in or out; no exchange runs under it and the link
// lock is never taken while it is held.

#include "protocol/answer_length.h"
#include "protocol/decoders.h"
#include "protocol/devoper.h"
#include "protocol/frame.h"

#include <algorithm>
#include <vector>

namespace {

constexpr std::uint8_t kAnalogCid2 = 0x42;
constexpr std::uint8_t kAlarmCid2 = 0x44;
constexpr std::uint8_t kDeviceInfoCid2 = 0x51;

// The wait of a read in another family's form: what our 0x42 gets. Makers'
// masters give their packs 500 ms in all; the reply window adds that.
int FamilyReadWaitMs()
{
    return CommandOf(CommandId::ReadAnalogData).waitMs;
}

// Two families whose 0x42 requests to one address are the same bytes.
bool SameRequestForm(PackFamily a, PackFamily b, std::uint8_t address)
{
    const RFamilyRow& first = FamilyRow(a);
    const RFamilyRow& second = FamilyRow(b);
    return first.version == second.version && first.cid1 == second.cid1
        && FamilyRequestInfo(a, address) == FamilyRequestInfo(b, address);
}

// The state of an address whose family is known, found or pinned.
RPackFamilyState KnownState(PackFamily family, bool pinned = false)
{
    RPackFamilyState state;
    state.family = family;
    state.pinned = pinned;
    return state;
}

} // namespace

// ---------------------------------------------------------------- registry

RPackFamilyState TDevOper::FamilyState(std::uint8_t address) const
{
    QMutexLocker locker(&m_familyLock);
    return m_families[address];
}

void TDevOper::PinFamily(std::uint8_t address, PackFamily family)
{
    QMutexLocker locker(&m_familyLock);
    m_families[address] = KnownState(family, family != PackFamily::Unknown);
}

void TDevOper::SetFamilyState(std::uint8_t address, const RPackFamilyState& state)
{
    QMutexLocker locker(&m_familyLock);
    m_families[address] = state;
}

void TDevOper::SetFamilySettings(const RFamilySettings& settings)
{
    QMutexLocker locker(&m_familyLock);
    m_familySettings = settings;
}

RFamilySettings TDevOper::FamilySettings() const
{
    QMutexLocker locker(&m_familyLock);
    return m_familySettings;
}

void TDevOper::ForgetFoundFamilies()
{
    QMutexLocker locker(&m_familyLock);
    for (RPackFamilyState& state : m_families)
        state = state.pinned ? KnownState(state.family, true) : RPackFamilyState{};
}

void TDevOper::FileFound(std::uint8_t address, const RPackFamilyState& state)
{
    QMutexLocker locker(&m_familyLock);
    if (!m_families[address].pinned)
        m_families[address] = state;
}

RPackFamilyState TDevOper::NoteAnalogAnswer(std::uint8_t address, PackFamily asked, PackFamily fitted,
                                            const RFamilyFit& fit)
{
    QMutexLocker locker(&m_familyLock);
    RPackFamilyState& state = m_families[address];
    // Someone filed another family while the read ran: theirs stands.
    if (state.family != asked)
        return state;
    if (fitted != PackFamily::Unknown && (asked == PackFamily::Unknown || fitted == asked)) {
        if (!state.pinned)
            state = KnownState(fitted);
        return state;
    }
    if (state.pinned) {
        state.problem = RPackFamilyState::Problem::PinnedMisfit;
        state.misfit = fit;
    } else if (asked != PackFamily::Unknown) {
        // A family is known only from answers that fit it.
        state = RPackFamilyState{};
    }
    return state;
}

// ---------------------------------------------------------------- the guard

std::optional<std::uint8_t> TDevOper::StateRefusal(const RPackFamilyState& state, std::uint8_t cid2)
{
    if (state.problem == RPackFamilyState::Problem::PinnedMisfit)
        return ResultCode::kFamilyMismatch;
    if (IsForeign(state.family))
        return ResultCode::kForeignFamily;
    if (state.family == PackFamily::Unknown && !FamilyReads(PackFamily::Unknown, cid2))
        return ResultCode::kFamilyUnknown;
    return std::nullopt;
}

std::optional<std::uint8_t> TDevOper::FamilyRefusal(std::uint8_t address, std::uint8_t cid2)
{
    const std::optional<std::uint8_t> refusal = StateRefusal(FamilyState(address), cid2);
    if (refusal != ResultCode::kFamilyUnknown)
        return refusal;
    // Nothing can be asked on a closed line, and nothing is sent on it
    // either: the command's own outcome there.
    if (!IsLinkOpen())
        return ResultCode::kNoAnswer;
    // A command that writes on some pack, to a pack not known yet: our own
    // live read first, and the other families' only when that does not
    // show ours.
    const RProbe ours = ProbeAnalog(PackFamily::Ours, address, FamilyReadWaitMs());
    if (ours.family == PackFamily::Ours) {
        FileFound(address, KnownState(PackFamily::Ours));
        return StateRefusal(FamilyState(address), cid2);
    }
    const RPackFamilyState found =
        DetectAfter(address, ReplyWindowMs(address, FamilyReadWaitMs()), ours);
    if (found.family == PackFamily::Ours || IsForeign(found.family) || found.pinned)
        return StateRefusal(found, cid2);
    if (found.problem != RPackFamilyState::Problem::None)
        return ResultCode::kFamilyUnknown;
    return ours.result == ResultCode::kSuccess ? ResultCode::kFamilyUnknown : ours.result;
}

std::uint8_t TDevOper::GuardedExchange(const RExchangeForm& form, std::uint8_t address, std::uint8_t cid2,
                                       QByteArrayView info, int waitMs, const Decoder& decode)
{
    if (const std::optional<std::uint8_t> refusal = FamilyRefusal(address, cid2))
        return *refusal;
    RExchangeForm guarded = form;
    guarded.guarded = true;
    return RunExchange(guarded, address, cid2, info, waitMs, decode);
}

// ---------------------------------------------------------------- detection

bool TDevOper::ShowsAnotherFamily(const AnswerView& answer, PackFamily expected)
{
    if (answer.byte(1) != FamilyRow(expected).version)
        return true;
    const PackFamily fitted = FitAnalogAnswer(answer).family;
    return fitted != PackFamily::Unknown && fitted != expected;
}

bool TDevOper::IsOurAnalogAnswer(const AnswerView& answer)
{
    if (answer.byte(1) != frame::kVersion || answer.byte(3) != frame::kCid1 || answer.rtn() != 0)
        return false;
    if (!AnswerFitsCommand(kAnalogCid2, answer))
        return false;
    // Whichever pack it names: the layout is what tells the family.
    RAnalogData scratch;
    return DecodeAnalogData(answer, answer.info(0), QDateTime(), scratch) == ResultCode::kSuccess;
}

TDevOper::RProbe TDevOper::ProbeAnalog(PackFamily form, std::uint8_t address, int waitMs)
{
    const RFamilyRow& row = FamilyRow(form);
    RProbe probe;
    RExchangeForm exchange;
    exchange.version = row.version;
    exchange.cid1 = row.cid1;
    exchange.checkLength = false;
    exchange.anyCid1 = true;
    exchange.inspect = [&probe](const AnswerView& answer) {
        probe.answered = true;
        probe.fit = FitAnalogAnswer(answer);
        if (IsOurAnalogAnswer(answer))
            probe.family = PackFamily::Ours;
        else if (IsForeign(probe.fit.family))
            probe.family = probe.fit.family;
    };
    probe.result = RunExchange(exchange, address, kAnalogCid2, FamilyRequestInfo(form, address), waitMs, {});
    return probe;
}

RPackFamilyState TDevOper::DetectFamily(std::uint8_t address, int windowMs)
{
    return DetectAfter(address, windowMs, std::nullopt);
}

RPackFamilyState TDevOper::DetectAfter(std::uint8_t address, int windowMs, const std::optional<RProbe>& ours)
{
    const RPackFamilyState before = FamilyState(address);
    if (before.pinned)
        return before;
    // The window is the wait plus the margin every exchange gets.
    const int waitMs = windowMs - ReplyWindowMs(address, 0);
    std::vector<RProbe> probes;
    std::vector<PackFamily> asked;
    if (ours) {
        probes.push_back(*ours);
        asked.push_back(PackFamily::Ours);
    }
    for (PackFamily family : kKnownFamilies) {
        const bool sameForm = std::any_of(asked.begin(), asked.end(), [&](PackFamily earlier) {
            return SameRequestForm(earlier, family, address);
        });
        if (sameForm)
            continue;
        asked.push_back(family);
        probes.push_back(ProbeAnalog(family, address, waitMs));
    }

    RPackFamilyState state;
    std::vector<PackFamily> fits;
    const RProbe* firstMisfit = nullptr;
    for (const RProbe& probe : probes) {
        if (probe.family != PackFamily::Unknown) {
            if (std::find(fits.begin(), fits.end(), probe.family) == fits.end())
                fits.push_back(probe.family);
        } else if (probe.answered && !firstMisfit) {
            firstMisfit = &probe;
        }
    }
    if (fits.size() == 1) {
        state.family = fits.front();
    } else if (fits.size() > 1) {
        state.problem = RPackFamilyState::Problem::TwoFamilies;
        const auto fitOf = [&probes](PackFamily family) {
            return std::find_if(probes.begin(), probes.end(), [family](const RProbe& p) { return p.family == family; })
                ->fit;
        };
        state.misfit = fitOf(fits[0]);
        state.misfit.family = fits[0];
        state.second = fits[1];
    } else if (firstMisfit) {
        state.problem = RPackFamilyState::Problem::NoFit;
        state.misfit = firstMisfit->fit;
    } else if (before.family != PackFamily::Unknown) {
        // Silence tells nothing: a family found earlier stays.
        return before;
    }
    FileFound(address, state);
    return FamilyState(address);
}

// ---------------------------------------------------------------- family reads

std::uint8_t TDevOper::ExecuteInFamily(PackFamily family, std::uint8_t address, std::uint8_t cid2,
                                       QByteArrayView info, int waitMs, const Decoder& decode)
{
    if (!FamilyReads(family, cid2))
        return ResultCode::kForeignFamily;
    // Every command is ours to send, but only through the guard.
    if (family == PackFamily::Ours && !FamilyReads(PackFamily::Unknown, cid2))
        return Execute(address, cid2, info, waitMs, decode);
    const RFamilyRow& row = FamilyRow(family);
    RExchangeForm form;
    form.version = row.version;
    form.cid1 = row.cid1;
    form.checkLength = false;
    return RunExchange(form, address, cid2, info, waitMs, decode);
}

std::uint8_t TDevOper::ReadFamilyIdentity(std::uint8_t address, RFamilyIdentity& identity)
{
    const RPackFamilyState state = FamilyState(address);
    if (state.problem == RPackFamilyState::Problem::PinnedMisfit)
        return ResultCode::kFamilyMismatch;
    if (state.family == PackFamily::Unknown)
        return ResultCode::kFamilyUnknown;
    const PackFamily family = state.family;
    for (std::uint8_t cid2 : FamilyRow(family).identity) {
        // The device information read carries no INFO in any family; the
        // makers' own identity reads name the pack as their live read does.
        const bool deviceInfo = cid2 == kDeviceInfoCid2;
        const QByteArray info = deviceInfo ? QByteArray() : FamilyRequestInfo(family, address);
        const int waitMs = deviceInfo ? CommandOf(CommandId::ReadDeviceInfo).waitMs : FamilyReadWaitMs();
        const std::uint8_t result =
            ExecuteInFamily(family, address, cid2, info, waitMs, [&](const AnswerView& answer) {
                return DecodeFamilyIdentity(family, cid2, answer, identity) ? ResultCode::kSuccess
                                                                              : ResultCode::kIncomplete;
            });
        if (result != ResultCode::kSuccess)
            return result;
    }
    return ResultCode::kSuccess;
}

std::uint8_t TDevOper::ReadForeignAnalog(PackFamily family, std::uint8_t address, std::uint8_t packNumber,
                                         std::uint8_t& echoedPack, std::array<RAnalogData, kMaxPacks>& records)
{
    const RFamilySettings settings = FamilySettings();
    const RFamilyRow& row = FamilyRow(family);
    RAnalogData fresh = InitAnalogData(packNumber);
    std::optional<RFamilyFit> seen;
    bool anotherFamily = false;
    std::uint8_t decoded = ResultCode::kBadFrame;
    RExchangeForm form;
    form.version = row.version;
    form.cid1 = row.cid1;
    form.checkLength = false;
    form.inspect = [&](const AnswerView& answer) {
        seen = FitAnalogAnswer(answer);
        anotherFamily = ShowsAnotherFamily(answer, family);
    };
    const std::uint8_t result =
        RunExchange(form, address, kAnalogCid2, FamilyRequestInfo(family, address), FamilyReadWaitMs(),
                    [&](const AnswerView& answer) {
                        decoded = DecodeFamilyAnalog(family, answer, address, QDateTime::currentDateTime(),
                                                     settings, fresh);
                        return decoded;
                    });
    // A pack of the family that names another pack still speaks it.
    const bool fits =
        seen && !anotherFamily && decoded != ResultCode::kBadFrame && result != ResultCode::kBadFrame;
    if (fits || anotherFamily) {
        const RPackFamilyState state = NoteAnalogAnswer(address, family, fits ? family : PackFamily::Unknown, *seen);
        if (state.problem == RPackFamilyState::Problem::PinnedMisfit)
            return ResultCode::kFamilyMismatch;
    }
    if (result == ResultCode::kSuccess) {
        fresh.packNumber = packNumber;
        records[packNumber - 1] = fresh;
        echoedPack = address;
    }
    return result;
}

std::uint8_t TDevOper::ReadForeignAlarm(PackFamily family, std::uint8_t address, std::uint8_t packNumber,
                                        std::array<RAlarmData, kMaxPacks>& records)
{
    RAlarmData fresh = InitAlarmData(packNumber);
    const std::uint8_t result =
        ExecuteInFamily(family, address, kAlarmCid2, FamilyRequestInfo(family, address), FamilyReadWaitMs(),
                        [&](const AnswerView& answer) { return DecodeFamilyAlarm(family, answer, address, fresh); });
    if (result == ResultCode::kSuccess) {
        fresh.packNumber = packNumber;
        records[packNumber - 1] = fresh;
    }
    return result;
}
