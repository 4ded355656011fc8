#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>

class SimBus;

struct PtyServerOptions {
    QString linkPath;        // symbolic link that names the terminal for clients
    int baudRate = 9600;
    bool pace = false;       // deliver answers at the wire speed of baudRate
    // Set (0 to 65535): serve a TCP port on 127.0.0.1 instead, as an RS485
    // gateway does, one client at a time; 0 lets the system pick the port.
    int tcpPort = -1;
    // Playing the master, the line goes on whether anyone listens or not:
    // what a full terminal or an absent client cannot take is dropped
    // rather than waited for.
    bool dropWhenFull = false;
};

// Serves a simulated bus on a pseudo-terminal: clients open the slave side
// through the link path, as they would open a serial adapter. Or serves it
// on a TCP port as a serial gateway does: the bytes of the line, raw; a new
// client takes the place of the one before.
class PtyServer {
public:
    PtyServer(SimBus& bus, PtyServerOptions options);
    ~PtyServer();
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    // Creates the terminal in raw mode and the link to it, or the listening
    // socket.
    bool open(QString* error);
    // What clients open: the link path or "tcp://127.0.0.1:PORT".
    QString address() const;
    // Answers requests until a byte arrives on stopFd.
    void serve(int stopFd);

    using Clock = std::chrono::steady_clock;

    // For a master of our own: waits until `until`, taking new TCP clients
    // and throwing away (but counting) whatever a client writes, for a
    // listener must never be heard as a request. False once a byte arrives
    // on stopFd.
    bool idleUntil(Clock::time_point until, int stopFd);
    // Counts what a client wrote and is still unread, at the end.
    void drainClient();
    // Bytes a client wrote to the line so far, and bytes that no one took.
    qint64 clientBytes() const { return m_clientBytes; }
    qint64 droppedBytes() const { return m_droppedBytes; }
    // Writes text from start on, in pieces of SimReply::kChunkCharacters
    // chunkGap apart when that is set; returns when its last character is out.
    Clock::time_point send(const QByteArray& text, Clock::time_point start,
                           std::chrono::milliseconds chunkGap = std::chrono::milliseconds(0));
    // Writes text at once, unpaced.
    void sendNow(const QByteArray& text) { writeAll(text.constData(), text.size()); }

private:

    void answer(const QByteArray& request, Clock::time_point firstArrival);
    // Takes a waiting TCP client in place of the one before.
    void acceptClient();
    void writeAll(const char* data, qsizetype size);
    void writePaced(const QByteArray& text, Clock::time_point start);
    std::chrono::nanoseconds characterTime() const;
    bool openTcp(QString* error);

    SimBus& m_bus;
    PtyServerOptions m_options;
    int m_master = -1;       // the pseudo-terminal, or the TCP client (-1: none)
    int m_listener = -1;
    quint16 m_tcpPort = 0;
    int m_slave = -1;        // kept open so the terminal survives clients closing it
    bool m_linkCreated = false;
    qint64 m_clientBytes = 0;
    qint64 m_droppedBytes = 0;
    bool m_dropping = false;  // the last write found no room: drop at once until one fits
};
