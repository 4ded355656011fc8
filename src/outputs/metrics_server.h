#pragma once

#include <QHostAddress>
#include <QString>
#include <QThread>

#include <cstdint>
#include <future>
#include <optional>

class MetricsRegistry;

// Where the metrics are served: an address and a port (0: any free one).
struct RListenAddress {
    QHostAddress address = QHostAddress(QHostAddress::LocalHost);
    std::uint16_t port = 0;

    // "127.0.0.1:9464" or "[::1]:9464" as written back to a file or a field.
    QString toString() const;
};

// "PORT" (loopback), "ADDRESS:PORT", "[IPV6]:PORT", "localhost:PORT" or
// "*:PORT" (every address). The port is 0 to 65535, 0 for any free one.
// None, with the reason, for anything else.
std::optional<RListenAddress> ParseListenAddress(const QString& text, QString* why = nullptr);
// The address means every interface (0.0.0.0, ::, *).
bool ServesEveryInterface(const RListenAddress& where);
// The URL of the endpoint served at served, as this computer reaches it: an
// address of every interface is shown as loopback, never as 0.0.0.0.
QString MetricsUrl(const RListenAddress& served);
// For an address of every interface, a warning that names the exposure and
// the way to serve this computer only; empty for any other address.
QString EveryInterfaceWarning(const RListenAddress& served);

// Serves the registry's text at GET /metrics, on a thread of its own with
// its own event loop (bmstool poll's main thread is busy polling, the
// window's must not be held up by a scrape). Any other path is answered
// 404, another method on /metrics 405.
//
// start() and stop() are called on one thread (the owner's); the registry
// must outlive the server.
class MetricsServer final : private QThread {
public:
    explicit MetricsServer(const MetricsRegistry& registry);
    ~MetricsServer() override;

    // Listens and serves; false with the reason (a port in use, an address
    // this computer does not have). Called again, it serves the new address.
    bool start(const RListenAddress& where, QString& error);
    // Stops serving; the thread has ended when it returns.
    void stop();
    bool serving() const { return isRunning(); }
    // The port served (the one picked when 0 was asked for).
    std::uint16_t port() const { return m_port; }

private:
    void run() override;

    const MetricsRegistry& m_registry;
    RListenAddress m_where;
    // Handed from the serving thread before start() returns.
    std::uint16_t m_port = 0;
    QString m_error;
    std::promise<void>* m_ready = nullptr;
};
