#include "store/port_open.h"

#include "services/settings.h"
#include "store/devinfo.h"

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
        Delay(kPortReopenPause);
        return true;
    });
}
