// Opening and reopening a port through the store: what the settings found
// is what opens, and a reopen brings back the same device.

#include "protocol/link.h"
#include "store/devinfo.h"
#include "store/port_open.h"

#include <QMutex>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// A link that only records the settings it was made with.
class ProbeLink : public ILink {
public:
    bool open(QString*) override { return m_open = true; }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    QByteArray exchange(const QByteArray&, std::chrono::milliseconds, int) override { return {}; }

private:
    bool m_open = false;
};

struct Made {
    QString device;
    qint32 baudRate = 0;
    RRs485Mode::Kind rs485 = RRs485Mode::Kind::Off;
};

std::vector<Made>& MadeLinks()
{
    static std::vector<Made> made;
    return made;
}

void RegisterProbe(const QString& name)
{
    LinkRegistry::Register(name, [](const LinkSettings& settings) {
        MadeLinks().push_back({settings.device, settings.baudRate, settings.rs485.kind});
        return std::make_unique<ProbeLink>();
    });
}

RPortDevice Probe(const char* name, qint32 baud = 9600, RRs485Mode::Kind rs485 = RRs485Mode::Kind::Off,
                  const char* error = "")
{
    RRs485Mode mode;
    mode.kind = rs485;
    return RPortDevice{LinkSettings(QString::fromLatin1(name), baud, mode), {}, QString::fromLatin1(error)};
}

TEST(PortOpen, ReopenBringsBackWhatWasOpenedAndARestThatGivesUpLeavesItClosed)
{
    RegisterProbe(QStringLiteral("probe-a"));
    RegisterProbe(QStringLiteral("probe-b"));
    const auto go = [] { return true; };
    const auto giveUp = [] { return false; };

    struct Step {
        const char* what;
        std::uint8_t port;         // 0: reopen what was opened last
        RPortDevice device;
        bool rest;                 // the rest lets the open go on
        bool opens;
        std::uint8_t openPort;     // the port number that is open afterwards (0: none)
        const char* madeDevice;    // the link made by this step (empty: none)
        qint32 madeBaud;
        RRs485Mode::Kind madeMode;
    };
    const Step steps[] = {
        {"open COM2", 2, Probe("probe-a", 19200, RRs485Mode::Kind::RtsOnSend), true, true, 2, "probe-a", 19200,
         RRs485Mode::Kind::RtsOnSend},
        {"reopen", 0, {}, true, true, 2, "probe-a", 19200, RRs485Mode::Kind::RtsOnSend},
        {"reopen while stopping", 0, {}, false, false, 0, "", 0, RRs485Mode::Kind::Off},
        {"reopen after that", 0, {}, true, true, 2, "probe-a", 19200, RRs485Mode::Kind::RtsOnSend},
        {"open COM3 instead", 3, Probe("probe-b"), true, true, 3, "probe-b", 9600, RRs485Mode::Kind::Off},
        {"reopen COM3", 0, {}, true, true, 3, "probe-b", 9600, RRs485Mode::Kind::Off},
        {"a device with an error", 4, Probe("probe-a", 9600, RRs485Mode::Kind::Off, "[Ports] bad"), true, false, 0,
         "", 0, RRs485Mode::Kind::Off},
    };

    TDevInfo store;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        MadeLinks().clear();
        const PortPause rest = step.rest ? PortPause(go) : PortPause(giveUp);
        const bool opened = step.port != 0 ? OpenPort(store, step.port, step.device, rest) : ReopenPort(store, rest);
        EXPECT_EQ(opened, step.opens);
        EXPECT_EQ(store.IsLinkOpen(), step.openPort != 0);
        if (step.openPort != 0) {
            EXPECT_TRUE(store.IsSerialOpen(step.openPort));
        }
        if (*step.madeDevice) {
            ASSERT_EQ(MadeLinks().size(), 1u);
            EXPECT_EQ(MadeLinks().front().device, QLatin1String(step.madeDevice));
            EXPECT_EQ(MadeLinks().front().baudRate, step.madeBaud);
            EXPECT_EQ(MadeLinks().front().rs485, step.madeMode);
        } else {
            EXPECT_TRUE(MadeLinks().empty());
        }
        if (!step.device.error.isEmpty()) {
            EXPECT_EQ(store.DevOper().LastOpenError(), step.device.error);
        }
    }
    // The port number given last is the only one with a device.
    EXPECT_EQ(store.DevOper().PortDevice(4), QLatin1String("probe-a"));
    EXPECT_EQ(store.DevOper().PortDevice(3), QString());
}

} // namespace
