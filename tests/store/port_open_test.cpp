// Opening and reopening a port through the store: what the settings found
// is what opens, and a reopen brings back the same device.

#include "store/devinfo.h"
#include "store/port_open.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// A link that opens at once; its factory records the settings it was given.
class ProbeLink : public ILink {
public:
    bool open(QString*) override { return m_open = true; }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    QByteArray exchange(const QByteArray&, std::chrono::milliseconds, int) override { return {}; }

private:
    bool m_open = false;
};

TEST(PortOpen, ReopenBringsBackWhatWasOpenedAndARestThatGivesUpLeavesItClosed)
{
    static std::vector<LinkSettings> made;
    for (const char* name : {"probe-a", "probe-b"})
        LinkRegistry::Register(QLatin1String(name), [](const LinkSettings& settings) {
            made.push_back(settings);
            return std::make_unique<ProbeLink>();
        });
    const RRs485Mode rtsOnSend{RRs485Mode::Kind::RtsOnSend};
    const RPortDevice a{LinkSettings(QStringLiteral("probe-a"), 19200, rtsOnSend), {}, {}};
    const RPortDevice b{LinkSettings(QStringLiteral("probe-b")), {}, {}};
    const RPortDevice refused{LinkSettings(QStringLiteral("probe-a")), {}, QStringLiteral("[Ports] bad")};

    const struct {
        const char* what;
        std::uint8_t port;           // 0: reopen what was opened last
        const RPortDevice* given;
        bool restGoesOn;
        std::uint8_t openAfter;      // the port number open afterwards; 0: none
        const RPortDevice* made;     // the device a link was made for; none: no link
    } steps[] = {
        {"open COM2", 2, &a, true, 2, &a},
        {"reopen", 0, nullptr, true, 2, &a},
        {"reopen while stopping", 0, nullptr, false, 0, nullptr},
        {"reopen after that", 0, nullptr, true, 2, &a},
        {"open COM3 instead", 3, &b, true, 3, &b},
        {"reopen COM3", 0, nullptr, true, 3, &b},
        {"a device with an error", 4, &refused, true, 0, nullptr},
    };
    TDevInfo store;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        made.clear();
        const PortPause rest = [&step] { return step.restGoesOn; };
        const bool opened = step.port != 0 ? OpenPort(store, step.port, *step.given, rest) : ReopenPort(store, rest);
        EXPECT_EQ(opened, step.openAfter != 0);
        EXPECT_EQ(store.IsLinkOpen(), step.openAfter != 0);
        if (step.openAfter != 0) {
            EXPECT_TRUE(store.IsSerialOpen(step.openAfter));
        }
        ASSERT_EQ(made.size(), step.made ? 1u : 0u);
        if (step.made) {
            EXPECT_EQ(made.front().device, step.made->link.device);
            EXPECT_EQ(made.front().baudRate, step.made->link.baudRate);
            EXPECT_EQ(made.front().rs485, step.made->link.rs485);
        }
    }
    EXPECT_EQ(store.DevOper().LastOpenError(), QStringLiteral("[Ports] bad"));
    // Only the port number given last has a device.
    EXPECT_EQ(store.DevOper().PortDevice(4), QLatin1String("probe-a"));
    EXPECT_EQ(store.DevOper().PortDevice(3), QString());
}

} // namespace
