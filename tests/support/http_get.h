#pragma once

// One plain HTTP/1.0 request to a server on this computer, read to its end
// with blocking socket calls (no event loop needed): enough for a test to
// see a status code and a body.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <cstdint>

// A loopback port nobody listens on at this moment, for a server a test starts.
inline std::uint16_t FreeLoopbackPort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
}

struct HttpAnswer {
    int status = 0;   // 0: no answer
    QByteArray body;
};

inline HttpAnswer HttpRequest(std::uint16_t port, const QByteArray& method, const QByteArray& path,
                              int timeoutMs = 20000)
{
    HttpAnswer answer;
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    if (!socket.waitForConnected(timeoutMs))
        return answer;
    socket.write(method + ' ' + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\nContent-Length: 0\r\n\r\n");
    socket.waitForBytesWritten(timeoutMs);
    QByteArray all;
    const QDeadlineTimer deadline(timeoutMs);
    // Read until the server closes or the body it announced is complete.
    const auto complete = [&all] {
        const qsizetype end = all.indexOf("\r\n\r\n");
        if (end < 0)
            return false;
        const QByteArray head = all.left(end).toLower();
        const qsizetype at = head.indexOf("content-length:");
        if (at < 0)
            return false;
        const qsizetype lineEnd = head.indexOf('\r', at);
        const int length = head.mid(at + 15, lineEnd < 0 ? -1 : lineEnd - at - 15).trimmed().toInt();
        return all.size() - (end + 4) >= length;
    };
    while (socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired() && !complete()) {
        if (socket.waitForReadyRead(200))
            all += socket.readAll();
    }
    all += socket.readAll();
    const qsizetype headerEnd = all.indexOf("\r\n\r\n");
    if (!all.startsWith("HTTP/") || headerEnd < 0)
        return answer;
    answer.status = all.mid(all.indexOf(' ') + 1, 3).toInt();
    answer.body = all.mid(headerEnd + 4);
    return answer;
}

inline HttpAnswer HttpGet(std::uint16_t port, const QByteArray& path = "/metrics")
{
    return HttpRequest(port, "GET", path);
}
