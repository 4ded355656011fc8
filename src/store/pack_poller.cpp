#include "store/pack_poller.h"

#include "protocol/command_catalogue.h"
#include "services/settings.h"
#include "store/devinfo.h"
#include "store/port_open.h"

#include <QDeadlineTimer>
#include <QThread>

PackPoller::PackPoller(TDevInfo& store, AppGlobals& globals, IPollView& view, StopRequested stopRequested)
    : m_store(store), m_globals(globals), m_view(view), m_stopRequested(std::move(stopRequested))
{
}

void PackPoller::SetPlan(const RPollPlan& plan)
{
    const std::lock_guard<std::mutex> lock(m_planLock);
    m_plan = plan;
}

RPollPlan PackPoller::Plan() const
{
    const std::lock_guard<std::mutex> lock(m_planLock);
    return m_plan;
}

bool PackPoller::Pause(std::chrono::milliseconds duration)
{
    const QDeadlineTimer deadline(duration);
    while (!deadline.hasExpired()) {
        if (Stopping())
            return false;
        QThread::msleep(static_cast<unsigned long>(std::min<qint64>(deadline.remainingTime(), 20)));
    }
    return !Stopping();
}

bool PackPoller::RunPass()
{
    if (m_stoppedOnLostPort)
        return false;
    const RPollPlan plan = Plan();
    if (plan.idle)
        return Pause(kIdlePause);
    bool askedAny = false;
    for (int row = 0; row < plan.packRows; ++row) {
        if (Stopping())
            return false;
        const RPackEntry entry = m_store.GetPackEntry(row);
        if (!entry.polled)
            continue;
        // A bus job running has the link: wait for it to end before the
        // pack is marked and asked.
        TBusHold& hold = m_store.BusHold();
        if (!hold.enterCycle(m_stopRequested))
            return false;
        m_globals.SelectedPack = entry.packNumber;
        m_globals.SelectedAddress = entry.address;
        m_view.RefreshHead();
        PollPack();
        hold.leaveCycle();
        if (m_stoppedOnLostPort)
            return false;
        // A pack left alone (its pinned family misfits) is not asked.
        askedAny = askedAny || m_turnAsked;
    }
    // The pack in focus may lie beyond a pack count lowered since it was
    // chosen, or every pack polled is left alone; a pass that asked nothing
    // waits as an idle one does, rather than turning at once and keeping a
    // core busy.
    if (!askedAny)
        return Pause(kIdlePause);
    return !Stopping();
}

QString SoftwareVersionHex(std::uint16_t softwareVersion)
{
    return QString::number(softwareVersion, 16).toUpper();
}

QString SoftwareVersionText(std::uint16_t softwareVersion)
{
    return softwareVersion >= kFirstShownSoftwareVersion ? SoftwareVersionHex(softwareVersion) : QString();
}

bool PackPoller::PauseUnlessJob(std::chrono::milliseconds duration)
{
    const QDeadlineTimer deadline(duration);
    while (!deadline.hasExpired() && !JobWaiting()) {
        if (Stopping())
            return false;
        QThread::msleep(static_cast<unsigned long>(std::min<qint64>(deadline.remainingTime(), 20)));
    }
    return !Stopping();
}

bool PackPoller::JobWaiting() const
{
    return m_store.BusHold().held();
}

void PackPoller::ShowResult(std::uint8_t result)
{
    m_view.SetCommState(result == 0 ? 1 : (result == ResultCode::kNoAnswer ? 0 : 2));
    PauseUnlessJob(kResultPause);
}

bool PackPoller::ShouldRefreshAfter(std::uint8_t result, const QDateTime& cycleTime, const RPollPlan& plan) const
{
    if (result == 0)
        return true;
    if (plan.allPacks || result == ResultCode::kNoAnswer)
        return m_store.IsSilent(m_store.CurrentPackNumber(), cycleTime);
    return false;
}

void PackPoller::PollPack()
{
    PollPack(QDateTime::currentDateTime());
}

void PackPoller::PollPack(const QDateTime& cycleTime)
{
    RPackSample sample;
    sample.pack = m_globals.SelectedPack.load();
    sample.address = m_globals.SelectedAddress.load();
    sample.time = cycleTime;
    sample.family = m_store.DevOper().FamilyState(sample.address).family;
    m_turnAsked = PollTurn(cycleTime, sample);
    // A pack that is not read again has no turn to hand on.
    if (!m_turnAsked)
        return;
    sample.time = sample.analog ? sample.analog->time : cycleTime;   // when the readings arrived, as the log row
    if (!m_sink)
        return;
    if (const auto known = m_barCodes.find(sample.pack); sample.barCode.isEmpty() && known != m_barCodes.end())
        sample.barCode = known->second.barCode;
    m_sink->PackSampled(sample);
}

std::optional<QString> PackPoller::KnownBarCode(std::uint8_t pack) const
{
    const auto known = m_barCodes.find(pack);
    if (known == m_barCodes.end() || !known->second.known)
        return std::nullopt;
    return known->second.barCode;
}

void PackPoller::LearnBarCode(RPackSample& sample)
{
    LearntBarCode& known = m_barCodes[sample.pack];
    if (known.known || !sample.Answered())
        return;
    QString barCode;
    const std::uint8_t result = m_store.ReadBarCode(sample.address, sample.pack, barCode);
    sample.exchanges.push_back({CommandOf(CommandId::ReadBarCode).cid2, result});
    if (result == 0) {
        known.barCode = barCode.trimmed();
        known.known = true;
    } else if (++known.failures >= kBarCodeTries) {
        known.known = true;
    }
}

void PackPoller::LearnIdentity(RPackSample& sample)
{
    LearntBarCode& known = m_barCodes[sample.pack];
    if (known.known || !sample.Answered())
        return;
    RFamilyIdentity identity;
    const std::uint8_t result = m_store.DevOper().ReadFamilyIdentity(sample.address, identity);
    // The turn notes the first identity read of the family for them all.
    const auto identityReads = FamilyRow(sample.family).identity;
    sample.exchanges.push_back({identityReads.empty() ? std::uint8_t(0) : identityReads.front(), result});
    if (result == 0) {
        known.barCode = identity.serialNumber.trimmed();
        known.known = true;
    } else if (++known.failures >= kBarCodeTries) {
        known.known = true;
    }
}

void PackPoller::SettleResult(RPackSample& sample, std::uint8_t cid2, std::uint8_t result, const QDateTime& cycleTime)
{
    // Every command files its result as the last one and marks the pack as
    // answering when it succeeded.
    sample.exchanges.push_back({cid2, result});
    m_store.SetLastResult(result);
    if (result == 0)
        m_store.MarkAnswered(sample.pack, cycleTime);
    ShowResult(result);
}

RPackFamilyState PackPoller::NoteFamily(RPackSample& sample)
{
    const RPackFamilyState state = m_store.DevOper().FamilyState(sample.address);
    sample.family = state.family;
    if (state.problem == RPackFamilyState::Problem::None) {
        m_toldProblems.erase(sample.address);
        return state;
    }
    const auto told = m_toldProblems.find(sample.address);
    if (told == m_toldProblems.end() || told->second != state) {
        m_toldProblems[sample.address] = state;
        sample.familyProblem = state;
        m_view.ShowFamilyProblem(sample.pack, state);
    }
    return state;
}

bool PackPoller::ReadOurHead(const QDateTime& cycleTime, const RPollPlan& plan, RPackSample& sample)
{
    const RDeviceTime now = RDeviceTime::fromDateTime(cycleTime);
    const std::uint8_t address = sample.address;
    m_view.SetCommState(2);
    m_packTime = RDeviceTime{};
    SettleResult(sample, CommandOf(CommandId::ReadDateTime).cid2, m_store.ReadDateTime(address, m_packTime),
                 cycleTime);
    m_view.ShowPackTime(m_packTime, m_store.LastResult());
    if (Stopping() || JobWaiting())
        return false;

    const bool clockDiffers = m_packTime.year != now.year || m_packTime.month != now.month
        || m_packTime.day != now.day || m_packTime.hour != now.hour || m_packTime.minute != now.minute;
    if (plan.clockSync && clockDiffers) {
        m_view.SetCommState(2);
        const std::uint8_t result = m_store.WriteDateTime(address, now);
        sample.exchanges.push_back({CommandOf(CommandId::WriteDateTime).cid2, result});
        m_store.SetLastResult(result);
        ShowResult(result);
        if (Stopping() || JobWaiting())
            return false;
    }

    m_view.SetCommState(2);
    QString barCode;
    const std::uint8_t barResult = m_store.ReadBarCode(address, sample.pack, barCode);
    SettleResult(sample, CommandOf(CommandId::ReadBarCode).cid2, barResult, cycleTime);
    m_store.SetBarCode(barResult == 0 ? barCode : QString());
    if (barResult == 0) {
        sample.barCode = barCode.trimmed();
        m_barCodes[sample.pack] = LearntBarCode{sample.barCode, 0, true};
    }
    m_view.ShowStatus(m_store.SoftwareVersion(), m_store.BarCode(), m_store.EchoedPackNumber());
    if (Stopping() || JobWaiting())
        return false;

    m_view.SetCommState(2);
    std::uint16_t version = 0;
    QString deviceName;
    QString manufacturer;
    std::uint16_t number1 = 0;
    std::uint8_t number2 = 0;
    const std::uint8_t infoResult =
        m_store.ReadDeviceInfo(address, version, deviceName, manufacturer, number1, number2);
    SettleResult(sample, CommandOf(CommandId::ReadDeviceInfo).cid2, infoResult, cycleTime);
    m_store.SetSoftwareVersion(infoResult == 0 ? version : 0);
    m_view.ShowStatus(m_store.SoftwareVersion(), m_store.BarCode(), m_store.EchoedPackNumber());
    return !Stopping() && !JobWaiting();
}

void PackPoller::ReadAnalog(const QDateTime& cycleTime, const RPollPlan& plan, RPackSample& sample)
{
    m_view.SetCommState(2);
    std::uint8_t echoed = 0;
    const std::uint8_t analogResult = m_store.ReadAnalogData(sample.address, sample.pack, echoed);
    if (analogResult == 0)
        m_store.SetEchoedPackNumber(echoed);
    SettleResult(sample, CommandOf(CommandId::ReadAnalogData).cid2, analogResult, cycleTime);
    if (analogResult == 0)
        sample.analog = m_store.GetAnalogData(sample.pack);
    if (ShouldRefreshAfter(analogResult, cycleTime, plan))
        m_view.RefreshAnalog();
}

void PackPoller::ReadAlarm(const QDateTime& cycleTime, const RPollPlan& plan, RPackSample& sample)
{
    m_view.SetCommState(2);
    const std::uint8_t alarmResult = m_store.ReadAlarmData(sample.address, sample.pack);
    SettleResult(sample, CommandOf(CommandId::ReadAlarmData).cid2, alarmResult, cycleTime);
    if (alarmResult == 0)
        sample.alarm = m_store.GetAlarmData(sample.pack);
    if (ShouldRefreshAfter(alarmResult, cycleTime, plan))
        m_view.RefreshAlarm();
}

bool PackPoller::PollTurn(const QDateTime& cycleTime, RPackSample& sample)
{
    const std::uint8_t port = m_globals.PortNumber.load();
    if (!m_store.IsSerialOpen(port)) {
        m_view.SetCommState(0);
        // A serial device gone with its adapter; a gateway's lost
        // connection is opened again as after a silent pack.
        if (m_store.PortCanVanish(port) && m_view.PortLost()) {
            m_stoppedOnLostPort = true;
            return true;
        }
        Reconnect();
        return true;
    }
    const RPollPlan plan = Plan();
    const std::uint8_t pack = sample.pack;
    const std::uint8_t address = sample.address;
    RPackFamilyState state = m_store.DevOper().FamilyState(address);
    // A pinned family the pack's answers do not fit: told once, then the
    // pack is left alone for the rest of the run.
    if (state.problem == RPackFamilyState::Problem::PinnedMisfit) {
        const auto told = m_toldProblems.find(address);
        if (told != m_toldProblems.end() && told->second == state)
            return false;
    }
    m_store.SetCurrentPackNumber(pack);
    m_store.SetCurrentAddress(address);

    // Until the family is known (and for a pinned pack not yet told to
    // misfit), the live values come first: only their answer tells it.
    bool analogRead = false;
    if (state.family == PackFamily::Unknown || state.problem != RPackFamilyState::Problem::None) {
        ReadAnalog(cycleTime, plan, sample);
        analogRead = true;
        state = NoteFamily(sample);
    }
    if (Unreadable(state)) {
        // Nothing of such a pack would be filed: its alarm states are not
        // asked for either, and a silent address costs one window a pass.
        LeaveUnread(plan, state);
        return true;
    }
    if (Stopping() || JobWaiting())
        return true;

    bool ours = state.family == PackFamily::Ours;
    if (ours && !plan.allPacks && !ReadOurHead(cycleTime, plan, sample))
        return true;
    if (!analogRead) {
        ReadAnalog(cycleTime, plan, sample);
        // A pinned family that stops fitting, or a pack of another family
        // where one was found: nothing more goes to it.
        state = NoteFamily(sample);
        if (Unreadable(state)) {
            LeaveUnread(plan, state);
            return true;
        }
        ours = state.family == PackFamily::Ours;
    }
    if (!ours && !plan.allPacks) {
        // Another maker's pack has no clock to show; its serial number
        // stands in the bar code's panel.
        m_packTime = RDeviceTime{};
        m_view.ShowPackTime(m_packTime, m_store.LastResult());
        const auto known = m_barCodes.find(pack);
        m_store.SetBarCode(known != m_barCodes.end() ? known->second.barCode : QString());
        m_store.SetSoftwareVersion(0);
        m_view.ShowStatus(0, m_store.BarCode(), m_store.EchoedPackNumber());
    }
    if (Stopping() || JobWaiting())
        return true;

    ReadAlarm(cycleTime, plan, sample);
    if (Stopping() || JobWaiting())
        return true;

    if (ours && plan.readLocation) {
        m_view.SetCommState(2);
        const std::uint8_t locationResult = m_store.ReadLocationInfo(address, pack);
        SettleResult(sample, CommandOf(CommandId::ReadLocationInfo).cid2, locationResult, cycleTime);
        if (ShouldRefreshAfter(locationResult, cycleTime, plan))
            m_view.RefreshLocation();
        if (Stopping() || JobWaiting())
            return true;
    }

    // Only for the sink and the panel: the identity is not a result of the
    // cycle, nor does its result count as the cycle's last.
    if (!ours)
        LearnIdentity(sample);
    else if (m_sink && plan.allPacks)
        LearnBarCode(sample);
    EndTurn();
    return true;
}

bool PackPoller::Unreadable(const RPackFamilyState& state)
{
    return state.family == PackFamily::Unknown || state.problem == RPackFamilyState::Problem::PinnedMisfit;
}

void PackPoller::LeaveUnread(const RPollPlan& plan, const RPackFamilyState& state)
{
    const bool misfit = state.problem == RPackFamilyState::Problem::PinnedMisfit;
    if (misfit)
        m_store.SetLastResult(ResultCode::kFamilyMismatch);
    if (!plan.allPacks || misfit) {
        m_packTime = RDeviceTime{};
        m_view.ShowPackTime(m_packTime, m_store.LastResult());
        // No panel keeps what another pack showed.
        m_store.SetBarCode(QString());
        m_store.SetSoftwareVersion(0);
        m_store.SetEchoedPackNumber(0);
        m_view.ShowStatus(0, QString(), 0);
    }
    EndTurn();
}

void PackPoller::EndTurn()
{
    if (m_store.LastResult() != ResultCode::kNoAnswer)
        return;
    m_store.SetBarCode(QString());
    m_store.SetSoftwareVersion(0);
    m_store.SetEchoedPackNumber(0);
    m_view.ShowStatus(0, QString(), 0);
    // A job waiting for the link gets it as it is: closing the port under
    // it would fail its packs without asking them. A thread asked to stop
    // leaves the port open for the next one: a turn cut short by the stop
    // is no silent pack.
    if (!JobWaiting() && !Stopping())
        Reconnect();
}

void PackPoller::Reconnect()
{
    // A job that comes during the pause gets the port opened again at once.
    ReopenPort(m_store, [this] { return PauseUnlessJob(kReconnectPause); });
}
