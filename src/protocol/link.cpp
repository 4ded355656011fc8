#include "protocol/link.h"

#include "protocol/serial_link.h"

#include <QCollator>
#include <QMap>
#include <QMutex>
#include <QSerialPortInfo>
#include <QSettings>

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

QString ResolvePortDevice(int portNumber, const QString& iniPath)
{
    const QString portName = QStringLiteral("COM%1").arg(portNumber);
    // The [Ports] section may map a port to any device, the simulated bus
    // included, on every system.
    if (!iniPath.isEmpty()) {
        QSettings ini(iniPath, QSettings::IniFormat);
        const QString mapped = ini.value(QStringLiteral("Ports/") + portName).toString().trimmed();
        if (!mapped.isEmpty())
            return mapped;
    }
#ifdef Q_OS_WIN
    return portName;
#else
    const QStringList devices = AvailableSerialDevices();
    if (portNumber >= 1 && portNumber <= devices.size())
        return devices.at(portNumber - 1);
    return QString();
#endif
}
