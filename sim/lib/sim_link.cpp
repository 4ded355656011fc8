#include "sim_link.h"

#include <QMutex>
#include <QMutexLocker>

#include <algorithm>
#include <array>
#include <thread>

namespace {

QMutex& SharedBusMutex()
{
    static QMutex mutex;
    return mutex;
}

std::shared_ptr<SimBus>& SharedBusSlot()
{
    static std::shared_ptr<SimBus> bus;
    return bus;
}

// The buses behind "simulator:N", made when first opened; index N - 1.
std::array<std::shared_ptr<SimBus>, SimOptions::kMaxPacks>& SizedBusSlots()
{
    static std::array<std::shared_ptr<SimBus>, SimOptions::kMaxPacks> buses;
    return buses;
}

SimOptions& SizedBusOptions()
{
    static SimOptions options;
    return options;
}

} // namespace

void RegisterSimulatorLink(const SimOptions& options)
{
    auto bus = std::make_shared<SimBus>(options);
    {
        QMutexLocker locker(&SharedBusMutex());
        SharedBusSlot() = bus;
        SizedBusOptions() = options;
        SizedBusSlots() = {};
    }
    LinkRegistry::Register(QString::fromLatin1(kSimulatorDeviceName), [](const LinkSettings&) {
        return std::make_unique<SimulatorLink>(SharedSimBus());
    });
    for (int packs = 1; packs <= SimOptions::kMaxPacks; ++packs) {
        LinkRegistry::Register(QStringLiteral("%1:%2").arg(QLatin1String(kSimulatorDeviceName)).arg(packs),
                               [packs](const LinkSettings&) { return std::make_unique<SimulatorLink>(SharedSimBus(packs)); });
    }
}

std::shared_ptr<SimBus> SharedSimBus(int packs)
{
    if (packs < 1 || packs > SimOptions::kMaxPacks)
        return nullptr;
    QMutexLocker locker(&SharedBusMutex());
    std::shared_ptr<SimBus>& slot = SizedBusSlots()[std::size_t(packs - 1)];
    if (!slot) {
        SimOptions options = SizedBusOptions();
        options.packs = packs;
        slot = std::make_shared<SimBus>(options);
    }
    return slot;
}

std::shared_ptr<SimBus> SharedSimBus()
{
    QMutexLocker locker(&SharedBusMutex());
    return SharedBusSlot();
}

SimulatorLink::SimulatorLink(std::shared_ptr<SimBus> bus) : m_bus(std::move(bus)) {}

bool SimulatorLink::open(QString* error)
{
    if (!m_bus) {
        if (error)
            *error = QStringLiteral("The simulated packs have not been started");
        return false;
    }
    m_open = true;
    if (error)
        error->clear();
    return true;
}

void SimulatorLink::close()
{
    m_open = false;
}

bool SimulatorLink::isOpen() const
{
    return m_open;
}

QByteArray SimulatorLink::exchange(const QByteArray& request, std::chrono::milliseconds window, int maxCharacters)
{
    if (!m_open || !m_bus)
        return {};
    SimReply reply = m_bus->respond(request);
    const std::chrono::milliseconds lastPiece = reply.delay + reply.spread();
    if (!reply.answered() || lastPiece >= window) {
        std::this_thread::sleep_for(window);
        QByteArray heard = reply.echo + reply.lead;
        heard.truncate(maxCharacters);
        return heard;
    }
    if (lastPiece.count() > 0)
        std::this_thread::sleep_for(lastPiece);
    QByteArray text = reply.echo + reply.lead + reply.text;
    text.truncate(maxCharacters);
    return text;
}
