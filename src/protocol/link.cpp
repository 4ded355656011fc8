#include "protocol/link.h"

#include "protocol/serial_link.h"
#include "protocol/tcp_link.h"

#include <QCollator>
#include <QMap>
#include <QMutex>
#include <QDeadlineTimer>
#include <QSerialPortInfo>
#include <QThread>

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

QByteArray ILink::listen(std::chrono::milliseconds upTo, const std::function<bool()>& giveUp)
{
    const QDeadlineTimer deadline(upTo);
    while (!deadline.hasExpired() && !(giveUp && giveUp()))
        QThread::msleep(static_cast<unsigned long>(std::clamp<qint64>(deadline.remainingTime(), 1, 20)));
    return {};
}

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
