#pragma once

#include "protocol/link.h"
#include "sim_bus.h"

#include <atomic>
#include <memory>

// The device name under which programs reach the in-process packs.
inline constexpr char kSimulatorDeviceName[] = "simulator";

// Creates (or re-creates) the process-wide simulated bus with these options
// and registers the link "simulator" that talks to it. Programs call it at
// start-up; calling it again replaces the bus (links already open keep the
// bus they were opened on).
void RegisterSimulatorLink(const SimOptions& options = {});

// The process-wide bus, e.g. to add faults at run time; null before
// RegisterSimulatorLink.
std::shared_ptr<SimBus> SharedSimBus();

// "simulator:N" (N 1-16) reaches a bus of its own with N packs, made with
// the options of the last RegisterSimulatorLink when first asked for (and
// made afresh after the next one); whole racks without a change to the
// default bus. Null for any other N.
std::shared_ptr<SimBus> SharedSimBus(int packs);

// ILink over a simulated bus, in the calling thread. A pack that stays
// silent costs the whole reply window, and a late one its delay, as on the
// real line.
class SimulatorLink final : public ILink {
public:
    explicit SimulatorLink(std::shared_ptr<SimBus> bus);

    bool open(QString* error) override;
    void close() override;
    bool isOpen() const override;
    QByteArray exchange(const QByteArray& request, std::chrono::milliseconds window, int maxCharacters) override;

private:
    std::shared_ptr<SimBus> m_bus;
    std::atomic<bool> m_open{false};
};
