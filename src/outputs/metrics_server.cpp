#include "outputs/metrics_server.h"

#include "outputs/metrics_registry.h"

#include <QHostInfo>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QTcpServer>

#include <future>

QString RListenAddress::toString() const
{
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
        ? QStringLiteral("[%1]").arg(address.toString())
        : address.toString();
    return QStringLiteral("%1:%2").arg(host).arg(port);
}

std::optional<RListenAddress> ParseListenAddress(const QString& text, QString* why)
{
    const auto fail = [why](const QString& reason) -> std::optional<RListenAddress> {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    const QString trimmed = text.trimmed();
    RListenAddress where;
    QString portText = trimmed;
    const qsizetype colon = trimmed.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0) {
        QString host = trimmed.left(colon);
        portText = trimmed.mid(colon + 1);
        if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
            host = host.mid(1, host.size() - 2);
        if (host.isEmpty())
            return fail(QStringLiteral("the address before \":\" is missing: give the port alone (%1), "
                                       "127.0.0.1:%1, or *:%1 for every interface")
                            .arg(portText.left(60)));
        if (host == QLatin1String("*"))
            where.address = QHostAddress(QHostAddress::AnyIPv4);
        else if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
            where.address = QHostAddress(QHostAddress::LocalHost);
        else if (!where.address.setAddress(host))
            return fail(QStringLiteral("%1 is not an IP address").arg(host.left(60)));
    }
    bool ok = false;
    const uint port = portText.toUInt(&ok);
    if (!ok || port > 65535 || portText.startsWith(QLatin1Char('+')))
        return fail(QStringLiteral("the port must be a number 0-65535, not %1").arg(portText.left(60)));
    where.port = std::uint16_t(port);
    return where;
}

bool ServesEveryInterface(const RListenAddress& where)
{
    return where.address == QHostAddress(QHostAddress::AnyIPv4) || where.address == QHostAddress(QHostAddress::AnyIPv6)
        || where.address == QHostAddress(QHostAddress::Any);
}

QString MetricsUrl(const RListenAddress& served)
{
    RListenAddress reached = served;
    // An address that means every interface is no address to connect to:
    // this computer reaches the endpoint through loopback.
    if (ServesEveryInterface(served))
        reached.address = QHostAddress(served.address.protocol() == QAbstractSocket::IPv6Protocol
                                           ? QHostAddress::LocalHostIPv6
                                           : QHostAddress::LocalHost);
    return QStringLiteral("http://%1/metrics").arg(reached.toString());
}

QString EveryInterfaceWarning(const RListenAddress& served)
{
    if (!ServesEveryInterface(served))
        return {};
    return QStringLiteral("metrics: %1 serves every network interface: any computer that reaches this one "
                          "(as http://%2:%3/metrics) can read the packs; give 127.0.0.1:%3 to serve this computer only")
        .arg(served.toString(), QHostInfo::localHostName())
        .arg(served.port);
}

MetricsServer::MetricsServer(const MetricsRegistry& registry) : m_registry(registry) {}

MetricsServer::~MetricsServer()
{
    stop();
}

bool MetricsServer::start(const RListenAddress& where, QString& error)
{
    stop();
    m_where = where;
    m_error.clear();
    m_port = 0;
    std::promise<void> ready;
    std::future<void> listened = ready.get_future();
    m_ready = &ready;
    QThread::start();
    listened.wait();
    m_ready = nullptr;
    if (m_port == 0) {
        wait();
        error = QStringLiteral("cannot serve metrics on %1: %2").arg(where.toString(), m_error);
        return false;
    }
    return true;
}

void MetricsServer::stop()
{
    if (!isRunning())
        return;
    quit();
    wait();
}

void MetricsServer::run()
{
    QHttpServer server;
    server.route(QStringLiteral("/metrics"), [this](const QHttpServerRequest& request) {
        static const QByteArray kType = QByteArrayLiteral("text/plain; version=0.0.4; charset=utf-8");
        // HEAD answers as GET does, without the body (a health check's way
        // of asking).
        if (request.method() == QHttpServerRequest::Method::Head)
            return QHttpServerResponse(kType, QByteArray());
        if (request.method() != QHttpServerRequest::Method::Get) {
            QHttpServerResponse refused(QHttpServerResponse::StatusCode::MethodNotAllowed);
            refused.addHeader(QByteArrayLiteral("Allow"), QByteArrayLiteral("GET, HEAD"));
            return refused;
        }
        return QHttpServerResponse(kType, m_registry.Render());
    });
    auto* listener = new QTcpServer(&server);
    if (!listener->listen(m_where.address, m_where.port)) {
        m_error = listener->errorString();
        m_ready->set_value();
        return;
    }
    server.bind(listener);
    m_port = listener->serverPort();
    m_ready->set_value();
    exec();
}
