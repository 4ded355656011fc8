#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

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
};

struct LinkSettings {
    QString device;        // a device path, "COMn" on Windows, or a registered name
    qint32 baudRate = 9600;
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

// Maps the port number n that the user picks (COM1..COM16) to a device: the
// key "COMn" of section "Ports" in the given INI file when it names one;
// otherwise "COMn" on Windows and elsewhere the n-th serial device present,
// USB and ACM adapters first. Empty when there is none.
QString ResolvePortDevice(int portNumber, const QString& iniPath);
// The serial devices present, in the order port numbers map to them.
QStringList AvailableSerialDevices();
