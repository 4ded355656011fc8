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
    bool polledAny = false;
    for (int row = 0; row < plan.packRows; ++row) {
        if (Stopping())
            return false;
        const RPackEntry entry = m_store.GetPackEntry(row);
        if (!entry.polled)
            continue;
        polledAny = true;
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
    }
    // The pack in focus may lie beyond a pack count lowered since it was
    // chosen; a pass that polled nothing waits as an idle one does, rather
    // than turning at once and keeping a core busy.
    if (!polledAny)
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
    PollTurn(cycleTime, sample);
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

void PackPoller::PollTurn(const QDateTime& cycleTime, RPackSample& sample)
{
    const RDeviceTime now = RDeviceTime::fromDateTime(cycleTime);
    const std::uint8_t port = m_globals.PortNumber.load();
    if (!m_store.IsSerialOpen(port)) {
        m_view.SetCommState(0);
        // A serial device gone with its adapter; a gateway's lost
        // connection is opened again as after a silent pack.
        if (m_store.PortCanVanish(port) && m_view.PortLost()) {
            m_stoppedOnLostPort = true;
            return;
        }
        Reconnect();
        return;
    }
    const RPollPlan plan = Plan();
    const std::uint8_t pack = m_globals.SelectedPack.load();
    const std::uint8_t address = m_globals.SelectedAddress.load();
    m_store.SetCurrentPackNumber(pack);
    m_store.SetCurrentAddress(address);

    // Every command files its result as the last one and marks the pack as
    // answering when it succeeded.
    auto settle = [&](CommandId command, std::uint8_t result) {
        sample.exchanges.push_back({CommandOf(command).cid2, result});
        m_store.SetLastResult(result);
        if (result == 0)
            m_store.MarkAnswered(pack, cycleTime);
        ShowResult(result);
    };

    if (!plan.allPacks) {
        m_view.SetCommState(2);
        m_packTime = RDeviceTime{};
        settle(CommandId::ReadDateTime, m_store.ReadDateTime(address, m_packTime));
        m_view.ShowPackTime(m_packTime, m_store.LastResult());
        if (Stopping() || JobWaiting())
            return;

        const bool clockDiffers = m_packTime.year != now.year || m_packTime.month != now.month
            || m_packTime.day != now.day || m_packTime.hour != now.hour || m_packTime.minute != now.minute;
        if (plan.clockSync && clockDiffers) {
            m_view.SetCommState(2);
            const std::uint8_t result = m_store.WriteDateTime(address, now);
            sample.exchanges.push_back({CommandOf(CommandId::WriteDateTime).cid2, result});
            m_store.SetLastResult(result);
            ShowResult(result);
            if (Stopping() || JobWaiting())
                return;
        }

        m_view.SetCommState(2);
        QString barCode;
        const std::uint8_t barResult = m_store.ReadBarCode(address, pack, barCode);
        settle(CommandId::ReadBarCode, barResult);
        m_store.SetBarCode(barResult == 0 ? barCode : QString());
        if (barResult == 0) {
            sample.barCode = barCode.trimmed();
            m_barCodes[pack] = LearntBarCode{sample.barCode, 0, true};
        }
        m_view.ShowStatus(m_store.SoftwareVersion(), m_store.BarCode(), m_store.EchoedPackNumber());
        if (Stopping() || JobWaiting())
            return;

        m_view.SetCommState(2);
        std::uint16_t version = 0;
        QString deviceName;
        QString manufacturer;
        std::uint16_t number1 = 0;
        std::uint8_t number2 = 0;
        const std::uint8_t infoResult =
            m_store.ReadDeviceInfo(address, version, deviceName, manufacturer, number1, number2);
        settle(CommandId::ReadDeviceInfo, infoResult);
        m_store.SetSoftwareVersion(infoResult == 0 ? version : 0);
        m_view.ShowStatus(m_store.SoftwareVersion(), m_store.BarCode(), m_store.EchoedPackNumber());
        if (Stopping() || JobWaiting())
            return;
    }

    m_view.SetCommState(2);
    std::uint8_t echoed = 0;
    const std::uint8_t analogResult = m_store.ReadAnalogData(address, pack, echoed);
    if (analogResult == 0)
        m_store.SetEchoedPackNumber(echoed);
    settle(CommandId::ReadAnalogData, analogResult);
    if (analogResult == 0)
        sample.analog = m_store.GetAnalogData(pack);
    if (ShouldRefreshAfter(analogResult, cycleTime, plan))
        m_view.RefreshAnalog();
    if (Stopping() || JobWaiting())
        return;

    m_view.SetCommState(2);
    const std::uint8_t alarmResult = m_store.ReadAlarmData(address, pack);
    settle(CommandId::ReadAlarmData, alarmResult);
    if (alarmResult == 0)
        sample.alarm = m_store.GetAlarmData(pack);
    if (ShouldRefreshAfter(alarmResult, cycleTime, plan))
        m_view.RefreshAlarm();
    if (Stopping() || JobWaiting())
        return;

    if (plan.readLocation) {
        m_view.SetCommState(2);
        const std::uint8_t locationResult = m_store.ReadLocationInfo(address, pack);
        settle(CommandId::ReadLocationInfo, locationResult);
        if (ShouldRefreshAfter(locationResult, cycleTime, plan))
            m_view.RefreshLocation();
        if (Stopping() || JobWaiting())
            return;
    }

    // Only for the sink: the bar code is not filed as the status panel's,
    // nor does its result count as the cycle's last.
    if (m_sink && plan.allPacks)
        LearnBarCode(sample);

    if (m_store.LastResult() == ResultCode::kNoAnswer) {
        m_store.SetBarCode(QString());
        m_store.SetSoftwareVersion(0);
        m_store.SetEchoedPackNumber(0);
        m_view.ShowStatus(0, QString(), 0);
        // A job waiting for the link gets it as it is: closing the port
        // under it would fail its packs without asking them.
        if (!JobWaiting())
            Reconnect();
    }
}

void PackPoller::Reconnect()
{
    // A job that comes during the pause gets the port opened again at once.
    ReopenPort(m_store, [this] { return PauseUnlessJob(kReconnectPause); });
}
