#include "store/port_open.h"

#include "store/devinfo.h"

#include <QDeadlineTimer>
#include <QThread>

namespace {

bool CloseRestAndOpen(TDevInfo& store, std::uint8_t portNumber, const RPortDevice* device, const PortPause& pause)
{
    store.CloseSerial(portNumber);
    if (pause && !pause())
        return false;
    if (device)
        store.DevOper().AssignPort(portNumber, *device);
    store.InitSerial(portNumber);
    store.OpenSerial(portNumber);
    return store.IsSerialOpen(portNumber);
}

} // namespace

bool OpenPort(TDevInfo& store, std::uint8_t portNumber, const RPortDevice& device, const PortPause& pause)
{
    return CloseRestAndOpen(store, portNumber, &device, pause);
}

bool ReopenPort(TDevInfo& store, const PortPause& pause)
{
    return CloseRestAndOpen(store, store.DevOper().AssignedPortNumber(), nullptr, pause);
}

bool ReopenPort(TDevInfo& store)
{
    return ReopenPort(store, [] {
        QThread* thread = QThread::currentThread();
        const QDeadlineTimer deadline(kPortReopenPause);
        while (!deadline.hasExpired()) {
            if (thread->isInterruptionRequested())
                return false;
            QThread::msleep(static_cast<unsigned long>(std::min<qint64>(deadline.remainingTime(), 20)));
        }
        return !thread->isInterruptionRequested();
    });
}
