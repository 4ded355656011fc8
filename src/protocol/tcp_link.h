#pragma once

#include "protocol/link.h"
#include "protocol/link_thread.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <optional>

class QTcpSocket;

// The scheme of a device that is a TCP serial gateway: "tcp://HOST:PORT".
inline constexpr const char* kTcpScheme = "tcp://";
bool IsTcpDevice(const QString& device);

struct TcpAddress {
    QString host;
    quint16 port = 0;
};
// Reads "tcp://HOST:PORT" (an IPv6 host in brackets); without a host, or
// without a port in 1..65535, gives nothing and says why in error. The
// device comes as the front end gives it (from the port map, or bmstool's
// --port); the open error names what the user gave.
std::optional<TcpAddress> ParseTcpDevice(const QString& device, QString* error);

// The time added to every reply window on a TCP link, for the network
// between this program and the gateway. Process-wide; set from BMS.ini at
// start.
inline constexpr std::chrono::milliseconds kDefaultNetworkAllowance{200};
inline constexpr std::chrono::milliseconds kMaxNetworkAllowance{10000};
void SetNetworkAllowance(std::chrono::milliseconds allowance);   // brought into 0..kMaxNetworkAllowance
std::chrono::milliseconds NetworkAllowance();

// ILink on a raw TCP connection to an RS485 gateway: the bytes of the
// serial line travel unchanged, so framing and reply windows are those of
// the serial link, each window lengthened by the network allowance. A lost
// connection closes the link, as an unplugged adapter does.
class TcpLink final : public ILink {
public:
    explicit TcpLink(LinkSettings settings);
    ~TcpLink() override;

    bool open(QString* error) override;
    void close() override;
    bool isOpen() const override;
    QByteArray exchange(const QByteArray& request, std::chrono::milliseconds window,
                        int maxCharacters) override;
    QByteArray exchangeUntil(const QByteArray& request, std::chrono::milliseconds window, int maxCharacters,
                             const AnswerTest& isAnswer, const std::function<bool()>& giveUp) override;
    void discardLate(std::chrono::milliseconds upTo, const std::function<bool()>& giveUp) override;
    void awaitQuiet(std::chrono::milliseconds upTo) override;
    QByteArray listen(std::chrono::milliseconds upTo, const std::function<bool()>& giveUp) override;

private:
    // In the link's thread: reads as ReadFromDevice does and closes the
    // link when the connection has gone.
    void readInto(QByteArray& received, const QDeadlineTimer& deadline, qsizetype maxCharacters,
                  const AnswerTest& done, const std::function<bool()>& giveUp);
    bool connected() const;
    void dropConnection();

    LinkSettings m_settings;
    LinkThread m_thread;
    QTcpSocket* m_socket = nullptr;  // lives in m_thread
    std::atomic<bool> m_open{false};
};
