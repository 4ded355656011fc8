#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "protocol/rs485.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

// One way of reaching the packs: a serial adapter, the in-process simulated
// bus, or anything else that can carry one request and its answer.
class ILink {
public:
    virtual ~ILink() = default;
    // Opens the link; on failure returns false and says why in error.
    virtual bool open(QString* error) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Sends the request and collects the answer: returns once the window has
    // passed or, sooner, once a complete frame has arrived; at most
    // maxCharacters are kept.
    virtual QByteArray exchange(const QByteArray& request, std::chrono::milliseconds window,
                                int maxCharacters) = 0;

    // Tells whether the text received so far holds the awaited answer.
    using AnswerTest = std::function<bool(QByteArrayView received)>;
    // As exchange, but a read that is still going on ends early only once
    // isAnswer accepts what has arrived (noise, a damaged frame or a frame
    // from another pack does not end it, and what follows still arrives), or
    // when giveUp says so. Links that hand over a whole answer at once need
    // not override it.
    virtual QByteArray exchangeUntil(const QByteArray& request, std::chrono::milliseconds window,
                                     int maxCharacters, const AnswerTest& isAnswer,
                                     const std::function<bool()>& giveUp)
    {
        Q_UNUSED(isAnswer);
        Q_UNUSED(giveUp);
        return exchange(request, window, maxCharacters);
    }

    // Reads and throws away what arrives, sending nothing, until upTo has
    // passed, a complete frame has arrived or giveUp() says so: the answer to
    // an exchange that ended without one may still be on its way. Links on
    // which nothing arrives late need not override it.
    virtual void discardLate(std::chrono::milliseconds upTo, const std::function<bool()>& giveUp)
    {
        Q_UNUSED(upTo);
        Q_UNUSED(giveUp);
    }

    // Before the first request after opening: what a line still carries
    // (the late answer to another program's request, say) is read and
    // thrown away until the line has been quiet for a moment, at most upTo.
    // A quiet line costs only that moment. Links that start empty need not
    // override it.
    virtual void awaitQuiet(std::chrono::milliseconds upTo) { Q_UNUSED(upTo); }

    // Listening to a bus another master polls: returns what has arrived,
    // as soon as anything has, or empty once upTo has passed or giveUp()
    // says so. Sends nothing and changes nothing on the line. Links that
    // cannot hear a bus (the in-process simulated one) hear nothing.
    virtual QByteArray listen(std::chrono::milliseconds upTo, const std::function<bool()>& giveUp);
};

// How long a fresh line must stay silent before the first request: first a
// short look (longer than a character at the slowest baud rate the packs
// use, and than a low-latency USB adapter holds characters back), then,
// once characters are arriving, a gap longer than a USB adapter leaves
// between the pieces of one answer.
inline constexpr std::chrono::milliseconds kQuietLookMs{12};
inline constexpr std::chrono::milliseconds kQuietGapMs{60};

// Everything a link needs to reach a device.
struct LinkSettings {
    LinkSettings() = default;
    explicit LinkSettings(QString deviceName, qint32 baud = 9600, RRs485Mode mode = {})
        : device(std::move(deviceName)), baudRate(baud), rs485(mode)
    {
    }

    QString device;        // a device path, "COMn" on Windows, tcp://HOST:PORT, or a registered name
    qint32 baudRate = 9600;
    RRs485Mode rs485;      // serial devices only: the kernel's RS485 direction control
};

// Links that are not serial devices register a factory under a device name
// (the simulated bus registers "simulator"). Thread-safe.
namespace LinkRegistry {
using Factory = std::function<std::unique_ptr<ILink>(const LinkSettings&)>;
void Register(const QString& deviceName, Factory factory);
// A registered link for the device name, or a serial link.
std::unique_ptr<ILink> Create(const LinkSettings& settings);
bool IsRegistered(const QString& deviceName);
} // namespace LinkRegistry

// The port numbers a user picks: COM1 to COM16, as the port list shows them.
inline constexpr int kMaxPortNumber = 16;
// A port number as BMS.ini or the command line gives it, brought into the
// numbers the port list holds: below 1 gives 1, above 16 gives 16. The
// window and bmstool both take a port number through this.
std::uint8_t LimitPortNumber(qint64 number);

// What a port number n (COMn) opens, as the settings layer found it; the
// protocol layer opens it as given.
struct RPortDevice {
    LinkSettings link;   // link.device empty: there is nothing to open
    // What the user gave, for messages, when it is not the device itself:
    // the line of the port map ("[Ports] COM3=/dev/ttyUSB1"), say.
    QString origin;
    // Why there is nothing to open (no device), or why it must not be
    // opened (an RS485 mode that is not known). Opening reports it as is.
    QString error;
};

// The serial devices present, in the order port numbers map to them.
QStringList AvailableSerialDevices();
// The numbers of the ports named "COMn" (any case) among the names, in the
// given order, at most kMaxPortNumber of them; other names are passed over.
// On Windows these are the system's serial ports as it names them.
std::vector<std::uint8_t> ComPortNumbers(const QStringList& portNames);
