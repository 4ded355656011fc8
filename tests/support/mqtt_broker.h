#pragma once

// mosquitto on a free loopback port of the test's own, for the tests of
// MQTT in the tool and in the window.
#include "support/child_process.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <memory>

inline int FreeBrokerPort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
}

// mosquitto on 127.0.0.1:port, anonymous or with one user; restartable on
// the same port.
class Broker {
public:
    explicit Broker(const QString& user = {}, const QString& password = {}) : m_port(FreeBrokerPort())
    {
        // Started as root, mosquitto reads the password file as its own user.
        QFile::setPermissions(m_folder.path(), QFile::permissions(m_folder.path()) | QFile::ReadOther
                                                   | QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup);
        QString conf = QStringLiteral("listener %1 127.0.0.1\n").arg(m_port);
        if (user.isEmpty()) {
            conf += QStringLiteral("allow_anonymous true\n");
        } else {
            const QString passwords = m_folder.filePath(QStringLiteral("passwords"));
            ChildProcess make;
            make.start(QStringLiteral("/usr/bin/mosquitto_passwd"),
                       {QStringLiteral("-c"), QStringLiteral("-b"), passwords, user, password});
            make.waitForFinished(10000);
            QFile::setPermissions(passwords, QFile::permissions(passwords) | QFile::ReadOther);
            conf += QStringLiteral("allow_anonymous false\npassword_file %1\n").arg(passwords);
        }
        QFile file(m_folder.filePath(QStringLiteral("broker.conf")));
        if (file.open(QIODevice::WriteOnly))
            file.write(conf.toUtf8());
    }

    bool start()
    {
        m_process = std::make_unique<ChildProcess>();
        if (!m_process->start(QStringLiteral("/usr/sbin/mosquitto"),
                              {QStringLiteral("-c"), m_folder.filePath(QStringLiteral("broker.conf"))}))
            return false;
        // Ready once it takes connections.
        const QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired()) {
            ChildProcess probe;
            probe.start(QStringLiteral("/usr/bin/mosquitto_pub"), {QStringLiteral("-p"), QString::number(m_port),
                                                                   QStringLiteral("-t"), QStringLiteral("probe"),
                                                                   QStringLiteral("-n"), QStringLiteral("-u"),
                                                                   QStringLiteral("probe")});
            // 5: the broker is there and refused the probe's user.
            if (probe.waitForFinished(5000) && (probe.exitCode() == 0 || probe.exitCode() == 5))
                return true;
            QThread::msleep(100);
        }
        return false;
    }
    void stop() { m_process->terminate(); }
    int port() const { return m_port; }
    QString url(const QString& userInfo = {}) const
    {
        return QStringLiteral("mqtt://") + (userInfo.isEmpty() ? QString() : userInfo + u'@')
            + QStringLiteral("127.0.0.1:%1").arg(m_port);
    }

private:
    QTemporaryDir m_folder;
    int m_port;
    std::unique_ptr<ChildProcess> m_process;
};
