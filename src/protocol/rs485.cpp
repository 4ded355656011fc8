#include "protocol/rs485.h"

#include <QList>

#include <array>
#include <cerrno>
#include <cstring>
#include <string_view>

#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

namespace {

struct ModeName {
    std::string_view name;
    RRs485Mode::Kind kind;
};

constexpr std::array<ModeName, 3> kModeNames = {{
    {"off", RRs485Mode::Kind::Off},
    {"rts-on-send", RRs485Mode::Kind::RtsOnSend},
    {"rts-after-send", RRs485Mode::Kind::RtsAfterSend},
}};

std::optional<RRs485Mode> Refuse(QString* error, const QString& why)
{
    if (error)
        *error = QStringLiteral("%1 (known: off, rts-on-send[:BEFORE_MS[:AFTER_MS]], "
                                "rts-after-send[:BEFORE_MS[:AFTER_MS]])")
                     .arg(why);
    return std::nullopt;
}

QString NoSettingNeeded(const RRs485Mode& mode, const QString& why)
{
    return QStringLiteral("the device refused RS485 mode %1 (%2), so nothing was sent. Adapters with "
                          "automatic direction control need no setting: leave the RS485 mode off for them")
        .arg(Rs485ModeText(mode), why);
}

} // namespace

std::optional<RRs485Mode> ParseRs485Mode(QStringView text, QString* error)
{
    const QList<QStringView> parts = text.trimmed().split(u':');
    RRs485Mode mode;
    if (parts.front().isEmpty() && parts.size() == 1)
        return mode;
    const ModeName* known = nullptr;
    for (const ModeName& row : kModeNames)
        if (parts.front().compare(QLatin1String(row.name.data(), qsizetype(row.name.size())), Qt::CaseInsensitive) == 0)
            known = &row;
    if (!known)
        return Refuse(error, QStringLiteral("unknown RS485 mode \"%1\"").arg(text));
    mode.kind = known->kind;
    if (parts.size() > 3 || (mode.kind == RRs485Mode::Kind::Off && parts.size() > 1))
        return Refuse(error, QStringLiteral("too many values in RS485 mode \"%1\"").arg(text));
    int* delays[2] = {&mode.delayBeforeMs, &mode.delayAfterMs};
    for (qsizetype i = 1; i < parts.size(); ++i) {
        bool ok = false;
        const int value = parts[i].toInt(&ok);
        if (!ok || value < 0 || value > kMaxRs485DelayMs)
            return Refuse(error, QStringLiteral("the delays of RS485 mode \"%1\" must be 0 to %2 ms")
                                     .arg(text)
                                     .arg(kMaxRs485DelayMs));
        *delays[i - 1] = value;
    }
    return mode;
}

QString Rs485ModeText(const RRs485Mode& mode)
{
    QString text;
    for (const ModeName& row : kModeNames)
        if (row.kind == mode.kind)
            text = QString::fromLatin1(row.name.data(), qsizetype(row.name.size()));
    if (mode.delayAfterMs != 0)
        return QStringLiteral("%1:%2:%3").arg(text).arg(mode.delayBeforeMs).arg(mode.delayAfterMs);
    if (mode.delayBeforeMs != 0)
        return QStringLiteral("%1:%2").arg(text).arg(mode.delayBeforeMs);
    return text;
}

bool ApplyRs485Mode(int fd, const RRs485Mode& mode, QString* error)
{
    if (!mode.enabled())
        return true;
#ifdef Q_OS_LINUX
    serial_rs485 settings{};
    settings.flags = SER_RS485_ENABLED
        | (mode.kind == RRs485Mode::Kind::RtsOnSend ? SER_RS485_RTS_ON_SEND : SER_RS485_RTS_AFTER_SEND);
    settings.delay_rts_before_send = std::uint32_t(mode.delayBeforeMs);
    settings.delay_rts_after_send = std::uint32_t(mode.delayAfterMs);
    if (fd >= 0 && ::ioctl(fd, TIOCSRS485, &settings) == 0)
        return true;
    const QString why = fd < 0 ? QStringLiteral("no device handle") : QString::fromLocal8Bit(std::strerror(errno));
    if (error)
        *error = NoSettingNeeded(mode, why);
    return false;
#else
    Q_UNUSED(fd);
    if (error)
        *error = NoSettingNeeded(mode, QStringLiteral("the kernel RS485 mode is a Linux feature"));
    return false;
#endif
}

void RequestLowLatency(int fd)
{
#ifdef Q_OS_LINUX
    serial_struct serial{};
    if (fd < 0 || ::ioctl(fd, TIOCGSERIAL, &serial) != 0)
        return;
    if (serial.flags & ASYNC_LOW_LATENCY)
        return;
    serial.flags |= ASYNC_LOW_LATENCY;
    ::ioctl(fd, TIOCSSERIAL, &serial);
#else
    Q_UNUSED(fd);
#endif
}
