#include "protocol/tcp_link.h"

#include "protocol/frame.h"

#include <QTcpSocket>
#include <QUrl>

#include <algorithm>
#include <cstring>

namespace {

// A gateway that takes longer than a usual reply window (plus the network
// allowance) to accept is not there: opening never blocks much longer than
// an exchange would.
constexpr std::chrono::milliseconds kConnectTimeout{700};
// More than a window of noise at any baud rate the packs use.
constexpr qsizetype kMaxDiscarded = 1 << 16;

std::atomic<qint64> g_allowanceMs{kDefaultNetworkAllowance.count()};

bool IsFrame(QByteArrayView received)
{
    return frame::CompleteFrameEnd(received) >= 0;
}

} // namespace

bool IsTcpDevice(const QString& device)
{
    return device.startsWith(QLatin1String(kTcpScheme), Qt::CaseInsensitive);
}

std::optional<TcpAddress> ParseTcpDevice(const QString& device, QString* error)
{
    const auto fail = [&](const QString& why) -> std::optional<TcpAddress> {
        if (error)
            *error = QStringLiteral("%1 (write tcp://HOST:PORT)").arg(why);
        return std::nullopt;
    };
    if (!IsTcpDevice(device))
        return fail(QStringLiteral("not a tcp:// address"));
    const QString rest = device.mid(qsizetype(std::strlen(kTcpScheme)));
    // The port follows the last colon, after the brackets of an IPv6 host.
    const qsizetype colon = rest.lastIndexOf(QLatin1Char(':'));
    const qsizetype bracket = rest.lastIndexOf(QLatin1Char(']'));
    if (colon < 0 || colon < bracket)
        return fail(QStringLiteral("no port given"));
    QString host = rest.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    if (host.isEmpty())
        return fail(QStringLiteral("no host given"));
    const QString portText = rest.mid(colon + 1);
    bool ok = false;
    const uint port = portText.toUInt(&ok);
    const bool digitsOnly = !portText.isEmpty()
        && std::all_of(portText.begin(), portText.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    if (portText.isEmpty())
        return fail(QStringLiteral("no port given"));
    if (!ok || !digitsOnly || port < 1 || port > 65535)
        return fail(QStringLiteral("the port must be a number from 1 to 65535"));
    return TcpAddress{host, quint16(port)};
}

void SetNetworkAllowance(std::chrono::milliseconds allowance)
{
    g_allowanceMs = std::clamp<qint64>(allowance.count(), 0, kMaxNetworkAllowance.count());
}

std::chrono::milliseconds NetworkAllowance()
{
    return std::chrono::milliseconds(g_allowanceMs.load());
}

TcpLink::TcpLink(LinkSettings settings) : m_settings(std::move(settings)), m_thread(QStringLiteral("tcp-link")) {}

TcpLink::~TcpLink()
{
    close();
}

bool TcpLink::connected() const
{
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

void TcpLink::dropConnection()
{
    m_open = false;
    if (m_socket) {
        m_socket->abort();
        delete m_socket;
        m_socket = nullptr;
    }
}

bool TcpLink::open(QString* error)
{
    const QString message = m_thread.run([this]() -> QString {
        if (connected())
            return QString();
        dropConnection();
        QString why;
        const std::optional<TcpAddress> address = ParseTcpDevice(m_settings.device, &why);
        if (!address)
            return why;
        m_socket = new QTcpSocket(m_thread.context());
        // Requests are a few dozen bytes: each goes out at once.
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_socket->connectToHost(address->host, address->port);
        if (!m_socket->waitForConnected(int((kConnectTimeout + NetworkAllowance()).count()))) {
            why = m_socket->error() == QAbstractSocket::SocketTimeoutError
                ? QStringLiteral("the gateway did not accept the connection in time")
                : m_socket->errorString();
            dropConnection();
            return why;
        }
        return QString();
    });
    m_open = message.isEmpty();
    if (error)
        *error = message;
    return m_open;
}

void TcpLink::close()
{
    m_thread.run([this] { dropConnection(); });
}

bool TcpLink::isOpen() const
{
    return m_open;
}

QByteArray TcpLink::exchange(const QByteArray& request, std::chrono::milliseconds window, int maxCharacters)
{
    return exchangeUntil(request, window, maxCharacters, IsFrame, {});
}

QByteArray TcpLink::exchangeUntil(const QByteArray& request, std::chrono::milliseconds window, int maxCharacters,
                                  const AnswerTest& isAnswer, const std::function<bool()>& giveUp)
{
    return m_thread.run([&]() -> QByteArray {
        QByteArray answer;
        if (!connected()) {
            dropConnection();
            return answer;
        }
        const QDeadlineTimer deadline(window + NetworkAllowance());
        // Whatever arrived since the last exchange belongs to nobody.
        m_socket->readAll();
        m_socket->write(request);
        while (m_socket->bytesToWrite() > 0 && !deadline.hasExpired()) {
            if (!m_socket->waitForBytesWritten(int(std::max<qint64>(deadline.remainingTime(), 1))) && !connected()) {
                dropConnection();
                return answer;
            }
        }
        readInto(answer, deadline, maxCharacters, isAnswer, giveUp);
        return answer;
    });
}

void TcpLink::discardLate(std::chrono::milliseconds upTo, const std::function<bool()>& giveUp)
{
    m_thread.run([&] {
        if (!connected())
            return;
        QByteArray late;
        readInto(late, QDeadlineTimer(upTo + NetworkAllowance()), kMaxDiscarded, IsFrame, giveUp);
        if (m_socket)
            m_socket->readAll();
    });
}

void TcpLink::awaitQuiet(std::chrono::milliseconds upTo)
{
    m_thread.run([&] {
        if (connected() && !DrainUntilQuiet(*m_socket, upTo, [this] { return !connected(); }))
            dropConnection();
    });
}

void TcpLink::readInto(QByteArray& received, const QDeadlineTimer& deadline, qsizetype maxCharacters,
                       const AnswerTest& done, const std::function<bool()>& giveUp)
{
    if (!ReadFromDevice(*m_socket, received, deadline, maxCharacters, done, giveUp, [this] { return !connected(); }))
        dropConnection();
}

QByteArray TcpLink::listen(std::chrono::milliseconds upTo, const std::function<bool()>& giveUp)
{
    return m_thread.run([&]() -> QByteArray {
        QByteArray heard;
        if (!connected()) {
            dropConnection();
            return heard;
        }
        readInto(heard, QDeadlineTimer(upTo), kMaxDiscarded,
                 [](QByteArrayView received) { return !received.isEmpty(); }, giveUp);
        return heard;
    });
}
