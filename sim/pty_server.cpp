#include "pty_server.h"

#include "protocol/frame.h"
#include "sim_bus.h"

#include <QFile>

#include <algorithm>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <arpa/inet.h>
#include <sys/socket.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

// Requests are short; text that grows beyond this without a frame is noise.
constexpr qsizetype kMaxPendingCharacters = 4096;
// Paced answers are written in small pieces, each when its last character
// would have arrived on the wire.
constexpr qsizetype kPaceChunk = 4;
constexpr int kBitsPerCharacter = 10;   // start bit, 8 data bits, stop bit
// A master's line waits this long for a full terminal before it drops bytes.
constexpr int kDropAfterMs = 50;

QString SystemError(const char* what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

speed_t SpeedOf(int baudRate)
{
    switch (baudRate) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B9600;
    }
}

} // namespace

PtyServer::PtyServer(SimBus& bus, PtyServerOptions options) : m_bus(bus), m_options(std::move(options)) {}

PtyServer::~PtyServer()
{
    if (m_linkCreated)
        ::unlink(QFile::encodeName(m_options.linkPath).constData());
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    if (m_listener >= 0)
        ::close(m_listener);
}

QString PtyServer::address() const
{
    return m_listener >= 0 ? QStringLiteral("tcp://127.0.0.1:%1").arg(m_tcpPort) : m_options.linkPath;
}

bool PtyServer::openTcp(QString* error)
{
    m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    if (m_listener < 0) {
        *error = SystemError("cannot create a socket");
        return false;
    }
    // A simulator started again at once takes its port back.
    const int yes = 1;
    ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(quint16(m_options.tcpPort));
    if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(m_listener, 4) != 0) {
        *error = SystemError("cannot listen on the TCP port");
        return false;
    }
    socklen_t size = sizeof address;
    ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &size);
    m_tcpPort = ntohs(address.sin_port);
    return true;
}

std::chrono::nanoseconds PtyServer::characterTime() const
{
    const int rate = m_options.baudRate > 0 ? m_options.baudRate : 9600;
    return std::chrono::nanoseconds(std::int64_t(kBitsPerCharacter) * 1000000000 / rate);
}

bool PtyServer::open(QString* error)
{
    if (m_options.tcpPort >= 0)
        return openTcp(error);
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        *error = SystemError("cannot create a pseudo-terminal");
        return false;
    }
    const char* slaveName = ::ptsname(m_master);
    if (!slaveName) {
        *error = SystemError("cannot name the pseudo-terminal");
        return false;
    }
    const QByteArray slavePath(slaveName);
    m_slave = ::open(slavePath.constData(), O_RDWR | O_NOCTTY);
    if (m_slave < 0) {
        *error = SystemError("cannot open the pseudo-terminal");
        return false;
    }
    // Raw 8N1 like a serial adapter: no echo, no line editing, no CR/LF
    // translation. A client that opens the terminal starts from these.
    termios settings{};
    ::tcgetattr(m_slave, &settings);
    ::cfmakeraw(&settings);
    ::cfsetispeed(&settings, SpeedOf(m_options.baudRate));
    ::cfsetospeed(&settings, SpeedOf(m_options.baudRate));
    ::tcsetattr(m_slave, TCSANOW, &settings);
    ::tcgetattr(m_master, &settings);
    ::cfmakeraw(&settings);
    ::tcsetattr(m_master, TCSANOW, &settings);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);

    // Replace a stale link from an earlier run, but never a real file.
    const QByteArray link = QFile::encodeName(m_options.linkPath);
    struct stat existing {};
    if (::lstat(link.constData(), &existing) == 0) {
        if (!S_ISLNK(existing.st_mode)) {
            *error = QStringLiteral("%1 exists and is not a symbolic link").arg(m_options.linkPath);
            return false;
        }
        ::unlink(link.constData());
    }
    if (::symlink(slavePath.constData(), link.constData()) != 0) {
        *error = SystemError("cannot create the link");
        return false;
    }
    m_linkCreated = true;
    return true;
}

void PtyServer::serve(int stopFd)
{
    QByteArray pending;
    Clock::time_point firstArrival;
    for (;;) {
        pollfd watched[3] = {{stopFd, POLLIN, 0}, {m_master, POLLIN, 0}, {m_listener, POLLIN, 0}};
        if (::poll(watched, 3, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (watched[0].revents != 0)
            return;
        if (watched[2].revents & POLLIN) {
            acceptClient();
            pending.clear();
            continue;
        }
        if (m_master < 0)
            continue;
        const bool hungUp = watched[1].revents & (POLLHUP | POLLERR);
        if (hungUp && m_listener < 0) {
            // Only while no one holds the slave side; ours is always open,
            // but stay gentle should the terminal hang up regardless.
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if (!(watched[1].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        char buffer[1024];
        const ssize_t count = ::read(m_master, buffer, sizeof buffer);
        if (count <= 0) {
            if (m_listener >= 0 && (count == 0 || (errno != EAGAIN && errno != EINTR))) {
                // The client has gone; wait for the next one.
                ::close(m_master);
                m_master = -1;
                pending.clear();
            }
            continue;
        }
        if (pending.isEmpty())
            firstArrival = Clock::now();
        pending.append(buffer, count);
        for (qsizetype end = frame::CompleteFrameEnd(pending); end >= 0; end = frame::CompleteFrameEnd(pending)) {
            const QByteArray request = pending.first(end);
            pending.remove(0, end);
            answer(request, firstArrival);
            firstArrival = Clock::now();
        }
        if (pending.size() > kMaxPendingCharacters)
            pending = pending.mid(std::max<qsizetype>(pending.lastIndexOf(frame::kStart), pending.size() - 64));
    }
}

void PtyServer::acceptClient()
{
    // A gateway serves one client: a new connection replaces the old.
    const int client = ::accept(m_listener, nullptr, nullptr);
    if (client < 0)
        return;
    if (m_master >= 0)
        ::close(m_master);
    m_master = client;
    const int yes = 1;
    ::setsockopt(m_master, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
}

bool PtyServer::idleUntil(Clock::time_point until, int stopFd)
{
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
        pollfd watched[3] = {{stopFd, POLLIN, 0}, {m_master, POLLIN, 0}, {m_listener, POLLIN, 0}};
        const int ready = ::poll(watched, 3, int(std::max<std::int64_t>(left.count(), 0)));
        if (ready < 0 && errno != EINTR)
            return false;
        if (watched[0].revents != 0)
            return false;
        if (watched[2].revents & POLLIN)
            acceptClient();
        else if (m_master >= 0 && (watched[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            char buffer[1024];
            const ssize_t count = ::read(m_master, buffer, sizeof buffer);
            if (count > 0) {
                m_clientBytes += count;
            } else if (m_listener >= 0 && (count == 0 || (errno != EAGAIN && errno != EINTR))) {
                ::close(m_master);
                m_master = -1;
            } else if (m_listener < 0 && count <= 0) {
                // A terminal that hung up: stay gentle, as serve() does.
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        if (Clock::now() >= until)
            return true;
    }
}

void PtyServer::drainClient()
{
    char buffer[1024];
    for (ssize_t count; m_master >= 0 && (count = ::read(m_master, buffer, sizeof buffer)) > 0;)
        m_clientBytes += count;
}

void PtyServer::answer(const QByteArray& request, Clock::time_point firstArrival)
{
    const SimReply reply = m_bus.respond(request);
    // On the wire the pack hears the request only when its last character
    // is in; paced, the answer starts no earlier than that.
    Clock::time_point start = Clock::now();
    if (m_options.pace)
        start = std::max<Clock::time_point>(start, firstArrival + characterTime() * std::int64_t(request.size()));
    // The adapter's echo as the request went out, what goes out at once
    // (noise, a damaged frame), then the answer after the pack's delay,
    // never before the lead is out.
    if (!reply.echo.isEmpty())
        writeAll(reply.echo.constData(), reply.echo.size());
    const Clock::time_point leadEnd = send(reply.lead, start);
    if (reply.answered())
        send(reply.text, std::max(start + reply.delay, leadEnd), reply.chunkGap);
}

PtyServer::Clock::time_point PtyServer::send(const QByteArray& text, Clock::time_point start,
                                             std::chrono::milliseconds chunkGap)
{
    if (text.isEmpty())
        return start;
    if (chunkGap.count() > 0 && text.size() > SimReply::kChunkCharacters) {
        Clock::time_point end = start;
        for (qsizetype offset = 0; offset < text.size(); offset += SimReply::kChunkCharacters) {
            end = send(text.mid(offset, SimReply::kChunkCharacters), std::max(end, start));
            start += chunkGap;
        }
        return end;
    }
    std::this_thread::sleep_until(start);
    if (!m_options.pace) {
        writeAll(text.constData(), text.size());
        return start;
    }
    writePaced(text, start);
    return start + characterTime() * std::int64_t(text.size());
}

void PtyServer::writePaced(const QByteArray& text, Clock::time_point start)
{
    const auto perCharacter = characterTime();
    for (qsizetype offset = 0; offset < text.size(); offset += kPaceChunk) {
        const qsizetype size = std::min(kPaceChunk, text.size() - offset);
        std::this_thread::sleep_until(start + perCharacter * std::int64_t(offset + size));
        writeAll(text.constData() + offset, size);
    }
}

void PtyServer::writeAll(const char* data, qsizetype size)
{
    if (m_master < 0) {
        // A gateway without a client: the bytes go nowhere.
        m_droppedBytes += size;
        return;
    }
    while (size > 0) {
        const ssize_t written = m_listener >= 0 ? ::send(m_master, data, std::size_t(size), MSG_NOSIGNAL)
                                                : ::write(m_master, data, std::size_t(size));
        if (written > 0) {
            data += written;
            size -= written;
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EINTR) {
            m_droppedBytes += size;
            return;
        }
        if (written < 0 && errno == EINTR)
            continue;
        pollfd out{m_master, POLLOUT, 0};
        if (m_options.dropWhenFull) {
            // No one reads the line: the bus goes on without them.
            if (m_dropping || ::poll(&out, 1, kDropAfterMs) <= 0) {
                m_dropping = true;
                m_droppedBytes += size;
                return;
            }
            continue;
        }
        ::poll(&out, 1, 100);
    }
    m_dropping = false;
}
