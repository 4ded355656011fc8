// The port map of BMS.ini ([Ports]) and the port numbers the lists offer.

#include "protocol/devoper.h"
#include "protocol/link.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// [Ports] is read by the same rules as [BMS]; a key that names nothing is
// an error that names it, never another device.
TEST(PortMap, IsReadAsTheSettingsAreAndNeverFallsBackToAnotherDevice)
{
    struct MapCase {
        const char* ini;
        const char* device;
        const char* errorHas;
    };
    const MapCase cases[] = {
        {"[ports]\ncom2=sim-a\n", "sim-a", ""},
        {"[BMS]\nPort=2\n[PORTS]\nCom2 = sim-b \nCOM2=sim-c\n", "sim-b", ""},
        {"[Ports]\nCOM2=\n", "", "[Ports] COM2= in "},
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
        const RPortDevice port = ResolvePortDevice(2, path);
        EXPECT_EQ(port.device, QLatin1String(mapCase.device));
        EXPECT_TRUE(port.error.contains(QLatin1String(mapCase.errorHas))) << port.error.toStdString();
        EXPECT_EQ(port.error.isEmpty(), !port.device.isEmpty());

        TDevOper oper;
        oper.SetPortMapFile(path);
        if (port.device.isEmpty()) {
            EXPECT_FALSE(oper.OpenSerial(2));
            EXPECT_EQ(oper.LastOpenError(), port.error);
        }
    }
    // A device that cannot be opened is reported with the entry that named it.
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[ports]\ncom1=/dev/no-such-serial-device\n");
    file.close();
    TDevOper oper;
    oper.SetPortMapFile(path);
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
