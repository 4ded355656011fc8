// The port map of BMS.ini ([Ports]) and the port numbers the lists offer.

#include "protocol/devoper.h"
#include "protocol/link.h"
#include "services/port_settings.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// [Ports] is read by the same rules as [BMS]; a key that names nothing is
// an error that names it, never another device. What comes out carries the
// baud rate and the RS485 mode to the link.
TEST(PortMap, IsReadAsTheSettingsAreAndNeverFallsBackToAnotherDevice)
{
    using Kind = RRs485Mode::Kind;
    struct MapCase {
        const char* ini;
        const char* device;
        const char* origin;
        Kind rs485;
        const char* errorHas;   // empty: no error
    };
    const MapCase cases[] = {
        {"[ports]\ncom2=sim-a\n", "sim-a", "[Ports] COM2=sim-a", Kind::Off, ""},
        {"[BMS]\nPort=2\n[PORTS]\nCom2 = sim-b \nCOM2=sim-c\n", "sim-b", "[Ports] COM2=sim-b", Kind::Off, ""},
        {"[Ports]\nCOM2=sim-a\ncom2.rs485=rts-after-send\nCOM1.RS485=sideways\n", "sim-a", "[Ports] COM2=sim-a",
         Kind::RtsAfterSend, ""},
        {"[Ports]\nCOM2=\n", "", "[Ports] COM2=", Kind::Off, "[Ports] COM2= in "},
        {"[Ports]\nCOM2=sim-a\nCOM2.RS485=sideways\n", "sim-a", "[Ports] COM2=sim-a", Kind::Off,
         "[Ports] COM2.RS485=sideways in "},
    };
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("BMS.ini"));
    for (const MapCase& mapCase : cases) {
        SCOPED_TRACE(mapCase.ini);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(mapCase.ini);
        file.close();
        const RPortDevice port = ResolvePortDevice(2, path, 19200);
        EXPECT_EQ(port.link.device, QLatin1String(mapCase.device));
        EXPECT_EQ(port.origin, QLatin1String(mapCase.origin));
        EXPECT_EQ(port.link.baudRate, 19200);
        EXPECT_EQ(port.link.rs485.kind, mapCase.rs485);
        EXPECT_EQ(port.error.isEmpty(), !*mapCase.errorHas) << port.error.toStdString();
        EXPECT_TRUE(port.error.contains(QLatin1String(mapCase.errorHas))) << port.error.toStdString();
        if (*mapCase.errorHas) {
            EXPECT_TRUE(port.error.contains(path)) << "the message names the file";
        }
    }
}

// The link gets what the map found; a device that cannot be opened is
// reported with the entry that named it.
TEST(PortMap, AMappedDeviceThatDoesNotOpenIsReportedWithItsEntry)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("BMS.ini"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[ports]\ncom1=/dev/no-such-serial-device\n");
    file.close();
    TDevOper oper;
    oper.AssignPort(1, ResolvePortDevice(1, path));
    EXPECT_FALSE(oper.OpenSerial(1));
    EXPECT_TRUE(oper.LastOpenError().startsWith(QStringLiteral("[Ports] COM1=/dev/no-such-serial-device: ")))
        << oper.LastOpenError().toStdString();
}

TEST(PortMap, PortNumbersComeFromComNamesAndStayInTheList)
{
    EXPECT_EQ(ComPortNumbers({QStringLiteral("COM3"), QStringLiteral("com10"), QStringLiteral("COM"),
                              QStringLiteral("COM+4"), QStringLiteral("/dev/ttyUSB0"), QStringLiteral("COM256"),
                              QStringLiteral("COM1")}),
              (std::vector<std::uint8_t>{3, 10, 1}));
    QStringList many;
    for (int port = 1; port <= 20; ++port)
        many << QStringLiteral("COM%1").arg(port);
    EXPECT_EQ(ComPortNumbers(many).size(), std::size_t(kMaxPortNumber));
    EXPECT_EQ(LimitPortNumber(0), 1);
    EXPECT_EQ(LimitPortNumber(20), 16);
    EXPECT_EQ(LimitPortNumber(273), 16);
}

} // namespace
