#include "services/port_settings.h"

#include "services/ini_document.h"
#include "services/settings.h"

#include <QFile>

#include <optional>

namespace {

const QString kPortsSection = QStringLiteral("Ports");

} // namespace

RPortDevice ResolvePortDevice(int portNumber, const QString& iniPath, qint32 baudRate)
{
    RPortDevice port;
    port.link.baudRate = baudRate;
    const QString portName = QStringLiteral("COM%1").arg(portNumber);
    std::optional<QString> mapped;
    if (!iniPath.isEmpty()) {
        QByteArray text;
        {
            QFile file(iniPath);
            if (file.open(QIODevice::ReadOnly))
                text = file.readAll();
        }
        const IniDocument ini = IniDocument::FromBytes(text);
        // The map may name any device, the simulated bus included, on
        // every system.
        mapped = ini.value(kPortsSection, portName);
        const QString modeKey = portName + QStringLiteral(".RS485");
        if (const std::optional<QString> mode = ini.value(kPortsSection, modeKey)) {
            QString why;
            if (const std::optional<RRs485Mode> parsed = ParseRs485Mode(*mode, &why))
                port.link.rs485 = *parsed;
            else
                port.error = QStringLiteral("[Ports] %1=%2 in %3: %4").arg(modeKey, *mode, iniPath, why);
        }
    }
    if (mapped) {
        port.origin = QStringLiteral("[Ports] %1=%2").arg(portName, *mapped);
        port.link.device = *mapped;
        if (port.link.device.isEmpty() && port.error.isEmpty())
            port.error = QStringLiteral("%1 in %2 names no device").arg(port.origin, iniPath);
        return port;
    }
#ifdef Q_OS_WIN
    port.link.device = portName;
#else
    const QStringList devices = AvailableSerialDevices();
    if (portNumber >= 1 && portNumber <= devices.size())
        port.link.device = devices.at(portNumber - 1);
    else if (port.error.isEmpty())
        port.error = QStringLiteral("No serial device is present for %1 (map one in [Ports] of BMS.ini)").arg(portName);
#endif
    return port;
}

RPortDevice ResolvePortDevice(int portNumber)
{
    return ResolvePortDevice(portNumber, SettingsFilePath(), Globals().BaudRate.load());
}
