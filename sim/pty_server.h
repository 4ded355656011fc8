#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>

class SimBus;

struct PtyServerOptions {
    QString linkPath;        // symbolic link that names the terminal for clients
    int baudRate = 9600;
    bool pace = false;       // deliver answers at the wire speed of baudRate
};

// Serves a simulated bus on a pseudo-terminal: clients open the slave side
// through the link path, as they would open a serial adapter.
class PtyServer {
public:
    PtyServer(SimBus& bus, PtyServerOptions options);
    ~PtyServer();
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    // Creates the terminal in raw mode and the link to it.
    bool open(QString* error);
    // Answers requests until a byte arrives on stopFd.
    void serve(int stopFd);

private:
    using Clock = std::chrono::steady_clock;

    void answer(const QByteArray& request, Clock::time_point firstArrival);
    // Writes text from start on; returns when its last character is out.
    Clock::time_point send(const QByteArray& text, Clock::time_point start);
    void writeAll(const char* data, qsizetype size);
    void writePaced(const QByteArray& text, Clock::time_point start);
    std::chrono::nanoseconds characterTime() const;

    SimBus& m_bus;
    PtyServerOptions m_options;
    int m_master = -1;
    int m_slave = -1;        // kept open so the terminal survives clients closing it
    bool m_linkCreated = false;
};
