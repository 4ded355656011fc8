#pragma once

// A tiny HTTP server on a thread of its own, on a free loopback port: it
// keeps the body of every request and answers each with the status a
// function picks from the request's number (from 0), or never answers
// (status 0). Enough to stand in for a server that fails.

#include <QByteArray>
#include <QByteArrayList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class HttpStub {
public:
    using Status = std::function<int(int request)>;

    explicit HttpStub(Status status) : m_status(std::move(status))
    {
        std::atomic<int> port{-1};
        m_thread = std::thread([this, &port] { Serve(port); });
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
    // The bodies of the requests so far, and the status each got.
    std::vector<std::pair<QByteArray, int>> requests() const
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        return m_requests;
    }

private:
    void Serve(std::atomic<int>& port)
    {
        QTcpServer server;
        port = server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
        struct Client {
            std::unique_ptr<QTcpSocket> socket;
            QByteArray request;
            bool answered = false;
        };
        std::vector<Client> clients;
        while (!m_stop) {
            if (server.waitForNewConnection(20))
                clients.push_back({std::unique_ptr<QTcpSocket>(server.nextPendingConnection()), {}, false});
            for (Client& client : clients) {
                if (client.answered)
                    continue;
                client.socket->waitForReadyRead(5);
                client.request += client.socket->readAll();
                // Answered once the whole request is in.
                const qsizetype headEnd = client.request.indexOf("\r\n\r\n");
                const qsizetype lengthAt = client.request.toLower().indexOf("content-length:");
                if (headEnd < 0 || lengthAt < 0)
                    continue;
                const qint64 length = client.request.mid(lengthAt + 15, 20).split('\r').front().trimmed().toLongLong();
                if (client.request.size() < headEnd + 4 + length)
                    continue;
                int status = 0;
                {
                    const std::lock_guard<std::mutex> lock(m_lock);
                    status = m_status(int(m_requests.size()));
                    m_requests.emplace_back(client.request.mid(headEnd + 4, length), status);
                }
                client.answered = true;
                if (status == 0)
                    continue;
                const QByteArray body = status < 300 ? QByteArray() : QByteArrayLiteral("{\"error\":\"test says no\"}");
                client.socket->write("HTTP/1.1 " + QByteArray::number(status) + " Test\r\nContent-Length: "
                                     + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
                client.socket->waitForBytesWritten(1000);
                client.socket->disconnectFromHost();
            }
        }
    }

    Status m_status;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_lock;
    std::vector<std::pair<QByteArray, int>> m_requests;   // guarded by m_lock
    std::thread m_thread;
};
