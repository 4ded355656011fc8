#include "sim_link.h"

#include <QMutex>
#include <QMutexLocker>

#include <algorithm>
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

} // namespace

void RegisterSimulatorLink(const SimOptions& options)
{
    auto bus = std::make_shared<SimBus>(options);
    {
        QMutexLocker locker(&SharedBusMutex());
        SharedBusSlot() = bus;
    }
    LinkRegistry::Register(QString::fromLatin1(kSimulatorDeviceName), [](const LinkSettings&) {
        return std::make_unique<SimulatorLink>(SharedSimBus());
    });
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
