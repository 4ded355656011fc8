#include "protocol/link.h"

#include "protocol/ini_document.h"
#include "protocol/serial_link.h"
#include "protocol/tcp_link.h"

#include <QCollator>
#include <QMap>
#include <QMutex>
#include <QSerialPortInfo>

#include <algorithm>

namespace {

QMutex& RegistryMutex()
{
    static QMutex mutex;
    return mutex;
}

QMap<QString, LinkRegistry::Factory>& Factories()
{
    static QMap<QString, LinkRegistry::Factory> factories;
    return factories;
}

} // namespace

namespace LinkRegistry {

void Register(const QString& deviceName, Factory factory)
{
    QMutexLocker locker(&RegistryMutex());
    Factories().insert(deviceName.toLower(), std::move(factory));
}

bool IsRegistered(const QString& deviceName)
{
    QMutexLocker locker(&RegistryMutex());
    return Factories().contains(deviceName.toLower());
}

std::unique_ptr<ILink> Create(const LinkSettings& settings)
{
    Factory factory;
    {
        QMutexLocker locker(&RegistryMutex());
        factory = Factories().value(settings.device.toLower());
    }
    if (factory)
        return factory(settings);
    if (IsTcpDevice(settings.device))
        return std::make_unique<TcpLink>(settings);
    return std::make_unique<SerialLink>(settings);
}

} // namespace LinkRegistry

QStringList AvailableSerialDevices()
{
    QStringList preferred;
    QStringList others;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const QString name = info.portName();
        const bool adapter = name.contains(QLatin1String("USB")) || name.contains(QLatin1String("ACM"))
            || info.hasVendorIdentifier();
        (adapter ? preferred : others).append(info.systemLocation());
    }
    QCollator collator;
    collator.setNumericMode(true);
    std::sort(preferred.begin(), preferred.end(), collator);
    std::sort(others.begin(), others.end(), collator);
    return preferred + others;
}

std::vector<std::uint8_t> ComPortNumbers(const QStringList& portNames)
{
    std::vector<std::uint8_t> numbers;
    for (const QString& name : portNames) {
        if (numbers.size() == std::size_t(kMaxPortNumber))
            break;
        const QStringView digits = QStringView(name).mid(3);
        const bool digitsOnly = !digits.isEmpty() && digits.size() <= 3
            && std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
        if (!name.startsWith(QLatin1String("COM"), Qt::CaseInsensitive) || !digitsOnly)
            continue;
        const int number = digits.toInt();
        if (number >= 1 && number <= 255)
            numbers.push_back(std::uint8_t(number));
    }
    return numbers;
}

std::uint8_t LimitPortNumber(qint64 number)
{
    return std::uint8_t(std::clamp<qint64>(number, 1, kMaxPortNumber));
}

RPortDevice ResolvePortDevice(int portNumber, const QString& iniPath)
{
    RPortDevice port;
    const QString portName = QStringLiteral("COM%1").arg(portNumber);
    std::optional<QString> mapped;
    if (!iniPath.isEmpty()) {
        // The [Ports] section may map a port to any device, the simulated
        // bus included, on every system.
        mapped = ReadIniValue(iniPath, QStringLiteral("Ports"), portName);
        const QString modeKey = portName + QStringLiteral(".RS485");
        if (const std::optional<QString> mode = ReadIniValue(iniPath, QStringLiteral("Ports"), modeKey)) {
            QString why;
            if (const std::optional<RRs485Mode> parsed = ParseRs485Mode(*mode, &why))
                port.rs485 = *parsed;
            else
                port.error = QStringLiteral("[Ports] %1=%2 in %3: %4").arg(modeKey, *mode, iniPath, why);
        }
    }
    if (mapped) {
        port.mapping = QStringLiteral("[Ports] %1=%2").arg(portName, *mapped);
        port.device = *mapped;
        if (port.device.isEmpty() && port.error.isEmpty())
            port.error = QStringLiteral("%1 in %2 names no device").arg(port.mapping, iniPath);
        return port;
    }
#ifdef Q_OS_WIN
    port.device = portName;
#else
    const QStringList devices = AvailableSerialDevices();
    if (portNumber >= 1 && portNumber <= devices.size())
        port.device = devices.at(portNumber - 1);
    else if (port.error.isEmpty())
        port.error = QStringLiteral("No serial device is present for %1 (map one in [Ports] of BMS.ini)").arg(portName);
#endif
    return port;
}
