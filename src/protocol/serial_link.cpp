#include "protocol/serial_link.h"

#include "protocol/frame.h"

#include <QDeadlineTimer>
#include <QSerialPort>

#include <algorithm>

namespace {

// More than a window of noise at any baud rate the packs use.
constexpr qsizetype kMaxDiscarded = 1 << 16;

} // namespace

SerialLink::SerialLink(LinkSettings settings)
    : m_settings(std::move(settings)), m_thread(QStringLiteral("serial-port"))
{
}

SerialLink::~SerialLink()
{
    close();
}

bool SerialLink::open(QString* error)
{
    const QString message = m_thread.run([this]() -> QString {
        if (m_port && m_port->isOpen())
            return QString();
        delete m_port;
        m_port = new QSerialPort(m_thread.context());
        m_port->setPortName(m_settings.device);
        m_port->setBaudRate(m_settings.baudRate);
        m_port->setDataBits(QSerialPort::Data8);
        m_port->setParity(QSerialPort::NoParity);
        m_port->setStopBits(QSerialPort::OneStop);
        m_port->setFlowControl(QSerialPort::NoFlowControl);
        if (m_settings.device.isEmpty())
            return QStringLiteral("No serial device is mapped to this port");
        if (!m_port->open(QIODevice::ReadWrite))
            return m_port->errorString().isEmpty() ? QStringLiteral("The serial port did not open") : m_port->errorString();
        const QString refused = prepareOpenPort();
        if (!refused.isEmpty()) {
            // Without the direction control asked for, a request would go
            // out with the driver disabled or collide with the answer.
            m_port->close();
            return refused;
        }
        return QString();
    });
    m_open = message.isEmpty();
    if (error)
        *error = message;
    return m_open;
}

QString SerialLink::prepareOpenPort()
{
    const int fd = int(m_port->handle());
    QString error;
    if (!ApplyRs485Mode(fd, m_settings.rs485, &error))
        return error;
    RequestLowLatency(fd);
    // What the line delivered before this program opened it (another
    // program's late answer) belongs to nobody.
    m_port->clear(QSerialPort::Input);
    m_port->readAll();
    return QString();
}

void SerialLink::close()
{
    m_thread.run([this] {
        if (m_port) {
            m_port->close();
            delete m_port;
            m_port = nullptr;
        }
    });
    m_open = false;
}

bool SerialLink::isOpen() const
{
    return m_open;
}

QByteArray SerialLink::exchange(const QByteArray& request, std::chrono::milliseconds window, int maxCharacters)
{
    return exchangeUntil(
        request, window, maxCharacters, [](QByteArrayView received) { return frame::CompleteFrameEnd(received) >= 0; },
        {});
}

QByteArray SerialLink::exchangeUntil(const QByteArray& request, std::chrono::milliseconds window, int maxCharacters,
                                     const AnswerTest& isAnswer, const std::function<bool()>& giveUp)
{
    return m_thread.run([&]() -> QByteArray {
        QByteArray answer;
        if (!m_port || !m_port->isOpen())
            return answer;
        const QDeadlineTimer deadline(window);
        // Whatever arrived since the last exchange belongs to nobody.
        m_port->clear(QSerialPort::Input);
        m_port->readAll();
        m_port->write(request);
        if (!m_port->waitForBytesWritten(int(std::max<qint64>(deadline.remainingTime(), 1)))) {
            if (m_port->error() == QSerialPort::ResourceError) {
                m_open = false;
                m_port->close();
            }
            return answer;
        }
        // Noise, a damaged frame or another pack's frame does not end the
        // read: the answer may still follow within the window.
        readInto(answer, deadline, maxCharacters, isAnswer, giveUp);
        return answer;
    });
}

void SerialLink::discardLate(std::chrono::milliseconds upTo, const std::function<bool()>& giveUp)
{
    m_thread.run([&] {
        if (!m_port || !m_port->isOpen())
            return;
        QByteArray late;
        readInto(late, QDeadlineTimer(upTo), kMaxDiscarded,
                 [](QByteArrayView received) { return frame::CompleteFrameEnd(received) >= 0; }, giveUp);
        m_port->clear(QSerialPort::Input);
        m_port->readAll();
    });
}

void SerialLink::awaitQuiet(std::chrono::milliseconds upTo)
{
    m_thread.run([&] {
        if (!m_port || !m_port->isOpen())
            return;
        if (!DrainUntilQuiet(*m_port, upTo, [this] { return m_port->error() == QSerialPort::ResourceError; })) {
            m_open = false;
            m_port->close();
        }
    });
}

void SerialLink::readInto(QByteArray& received, const QDeadlineTimer& deadline, qsizetype maxCharacters,
                          const AnswerTest& done, const std::function<bool()>& giveUp)
{
    const bool present = ReadFromDevice(*m_port, received, deadline, maxCharacters, done, giveUp,
                                        [this] { return m_port->error() == QSerialPort::ResourceError; });
    if (!present) {
        // The adapter has gone; the caller sees a closed port.
        m_open = false;
        m_port->close();
    }
}

QByteArray SerialLink::listen(std::chrono::milliseconds upTo, const std::function<bool()>& giveUp)
{
    return m_thread.run([&]() -> QByteArray {
        QByteArray heard;
        if (!m_port || !m_port->isOpen())
            return heard;
        // Only reads: no clear, no write, no change to the control lines.
        readInto(heard, QDeadlineTimer(upTo), kMaxDiscarded,
                 [](QByteArrayView received) { return !received.isEmpty(); }, giveUp);
        // A device that went away may wake the read without a byte, and
        // nothing is written here that would fail: its error tells.
        if (m_port && m_port->isOpen() && heard.isEmpty() && m_port->error() == QSerialPort::ResourceError) {
            m_open = false;
            m_port->close();
        }
        return heard;
    });
}
