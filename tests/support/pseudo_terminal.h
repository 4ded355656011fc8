#pragma once

#include <QByteArray>
#include <QString>

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

// A raw pseudo-terminal of the test's own: the program under test opens its
// slave path as a serial device, and the test plays the line on the master
// side, seeing whether anything reached it.
class PseudoTerminal {
public:
    PseudoTerminal()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            return;
        m_slavePath = QString::fromLocal8Bit(::ptsname(m_master));
        // Our own hold on the slave keeps the terminal alive between opens.
        m_slave = ::open(::ptsname(m_master), O_RDWR | O_NOCTTY);
        termios raw{};
        ::tcgetattr(m_slave, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(m_slave, TCSANOW, &raw);
    }
    ~PseudoTerminal()
    {
        if (m_slave >= 0)
            ::close(m_slave);
        if (m_master >= 0)
            ::close(m_master);
    }
    bool isReady() const { return m_slave >= 0; }
    QString slavePath() const { return m_slavePath; }
    // Bytes for the program under test, as a pack would send them; false
    // when the terminal's buffer is full.
    bool write(const QByteArray& text) const
    {
        return ::write(m_master, text.constData(), std::size_t(text.size())) == text.size();
    }
    // What the program under test wrote, without waiting.
    QByteArray written() const
    {
        QByteArray text;
        char buffer[256];
        for (ssize_t n; (n = ::read(m_master, buffer, sizeof buffer)) > 0;)
            text.append(buffer, n);
        return text;
    }

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
};
