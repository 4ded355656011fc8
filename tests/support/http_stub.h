#pragma once

// A tiny HTTP server on a thread of its own, on a free loopback port, that
// answers every request with one status, or never answers (status 0): a
// server that fails.

#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

class HttpStub {
public:
    explicit HttpStub(int status)
    {
        std::atomic<int> port{-1};
        m_thread = std::thread([this, status, &port] {
            QTcpServer server;
            port = server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
            std::vector<std::unique_ptr<QTcpSocket>> clients;
            while (!m_stop) {
                if (server.waitForNewConnection(20))
                    clients.emplace_back(server.nextPendingConnection());
                for (auto& client : clients) {
                    // Answered once the request's head and body are in.
                    if (!client->waitForReadyRead(5) || status == 0)
                        continue;
                    QByteArray request = client->peek(1 << 20);
                    const qsizetype head = request.indexOf("\r\n\r\n");
                    const qsizetype at = request.toLower().indexOf("content-length:");
                    if (head < 0 || at < 0 || request.size() < head + 4 + request.mid(at + 15, 12).split('\r')[0].trimmed().toLongLong())
                        continue;
                    client->readAll();
                    client->write("HTTP/1.1 " + QByteArray::number(status)
                                  + " Test\r\nContent-Length: 24\r\nConnection: close\r\n\r\n{\"error\":\"test says no\"}");
                    client->waitForBytesWritten(1000);
                    client->disconnectFromHost();
                }
            }
        });
        while (port < 0)
            QThread::msleep(5);
        m_port = port;
    }
    ~HttpStub()
    {
        m_stop = true;
        m_thread.join();
    }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }

private:
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
