#pragma once

#include "protocol/link.h"
#include "support/child_process.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>

// Runs the bms-sim program for one test: a pseudo-terminal behind a link in
// a temporary folder of its own. Ready once the program has printed the
// link path; stopped by its process id (SIGTERM, then wait) on destruction.
class SimProcess {
public:
    // Extra arguments such as {"--fault", "noise"}; the link path and the
    // pack count are added here.
    // With tcpPort 0-65535 the bus is served on that TCP port of 127.0.0.1
    // (0: one the system picks) and linkPath() is "tcp://127.0.0.1:PORT".
    explicit SimProcess(const QStringList& arguments = {}, int packs = 4, int tcpPort = -1)
    {
        if (!m_folder.isValid()) {
            m_error = QStringLiteral("no temporary folder");
            return;
        }
        // The serial library locks ports by their file name, so every
        // simulator gets a name of its own.
        m_linkPath = m_folder.filePath(QStringLiteral("ttyBMS-%1").arg(QDir(m_folder.path()).dirName()));
        QStringList all = {QStringLiteral("--packs"), QString::number(packs)};
        if (tcpPort >= 0)
            all << QStringLiteral("--tcp") << QString::number(tcpPort);
        else
            all << QStringLiteral("--link") << m_linkPath;
        m_arguments = all + arguments;
        m_tcp = tcpPort >= 0;
        start();
    }

    // Starts the program again after stop(), with the same arguments and at
    // the same link: a pulled adapter plugged back in. True once ready.
    bool start()
    {
        m_ready = false;
        if (!m_process.start(QStringLiteral(BMS_SIM_PROGRAM), m_arguments)) {
            m_error = QStringLiteral("bms-sim did not start");
            return false;
        }
        // The first line on standard output is the link path, printed when
        // the terminal is ready.
        if (!m_process.waitForLine(10000)) {
            m_error = QStringLiteral("bms-sim did not get ready: ") + QString::fromLocal8Bit(m_process.standardError());
            return false;
        }
        const QByteArray printed = m_process.takeStandardOutput();
        if (m_tcp && printed.startsWith("tcp://127.0.0.1:"))
            m_linkPath = QString::fromLocal8Bit(printed).trimmed();
        if (QString::fromLocal8Bit(printed).trimmed() != m_linkPath) {
            m_error = QStringLiteral("bms-sim printed an unexpected path: ") + QString::fromLocal8Bit(printed);
            return false;
        }
        m_ready = true;
        return true;
    }

    ~SimProcess() { stop(); }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool isReady() const { return m_ready; }
    QString error() const { return m_error; }
    QString linkPath() const { return m_linkPath; }
    qint64 processId() const { return m_process.processId(); }

    // What TDevOper::OpenLink needs to reach the simulator.
    LinkSettings linkSettings(qint32 baudRate = 9600) const { return LinkSettings{m_linkPath, baudRate, {}}; }

    // An INI file that maps COM<portNumber> to the simulator's terminal, for
    // tests of the [Ports] mapping itself (ResolvePortDevice).
    QString writePortMap(int portNumber = 1) const
    {
        const QString path = m_folder.filePath(QStringLiteral("ports.ini"));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(QStringLiteral("[Ports]\nCOM%1=%2\n").arg(portNumber).arg(m_linkPath).toLocal8Bit());
        return path;
    }

    // Stops the program (SIGTERM to its process id) and waits for it.
    void stop()
    {
        if (m_process.processId() > 0)
            m_process.terminate();
        m_ready = false;
    }

private:
    QTemporaryDir m_folder;
    ChildProcess m_process;
    QString m_linkPath;
    QString m_error;
    QStringList m_arguments;
    bool m_tcp = false;
    bool m_ready = false;
};
