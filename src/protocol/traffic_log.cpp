#include "protocol/traffic_log.h"

#include "protocol/command_catalogue.h"
#include "protocol/frame.h"

#include <QDateTime>

#include <algorithm>
#include <utility>

QString RTrafficRecord::CommandName() const
{
    if (const CommandInfo* info = CommandOfCid2(cid2))
        return QString::fromLatin1(info->name.data(), qsizetype(info->name.size()));
    return QStringLiteral("CID2 %1").arg(cid2, 2, 16, QLatin1Char('0')).toUpper();
}

QString RTrafficRecord::CalibrationWireNumbers() const
{
    frame::ParsedFrame sent;
    if (cid2 != CommandOf(CommandId::WriteCalibration).cid2 || !frame::ParseFrame(request, sent)
        || sent.info.size() < 12)
        return QString();
    const auto wire = [&sent](int at) {
        std::uint32_t value = 0;
        for (int i = at; i < at + 4; ++i)
            value = (value << 8) | static_cast<std::uint8_t>(sent.info[i]);
        return QString::number(static_cast<std::int32_t>(value));
    };
    return wire(4) + QStringLiteral(" / ") + wire(8);
}

TTrafficLog::TTrafficLog(std::size_t capacity) : m_capacity(capacity == 0 ? 1 : capacity) {}

void TTrafficLog::Add(RTrafficRecord record)
{
    Observer observer;
    RTrafficRecord copy;
    {
        QMutexLocker locker(&m_lock);
        record.sequence = ++m_sequence;
        observer = m_observer;
        // The observer gets its own copy, handed over outside the lock.
        if (observer)
            copy = record;
        if (m_ring.size() < m_capacity) {
            m_ring.push_back(std::move(record));
        } else {
            m_ring[m_next] = std::move(record);
            m_next = (m_next + 1) % m_capacity;
        }
    }
    if (observer)
        observer(copy);
}

std::vector<RTrafficRecord> TTrafficLog::Since(std::uint64_t after) const
{
    QMutexLocker locker(&m_lock);
    std::vector<RTrafficRecord> out;
    const std::size_t count = m_ring.size();
    const std::uint64_t oldest = m_sequence - count + 1;
    if (count == 0 || after >= m_sequence)
        return out;
    const std::uint64_t first = std::max(after + 1, oldest);
    out.reserve(std::size_t(m_sequence - first + 1));
    // The oldest record sits at m_next once the ring has wrapped, at 0 before.
    const std::size_t start = count < m_capacity ? 0 : m_next;
    for (std::uint64_t seq = first; seq <= m_sequence; ++seq)
        out.push_back(m_ring[(start + std::size_t(seq - oldest)) % count]);
    return out;
}

std::uint64_t TTrafficLog::LastSequence() const
{
    QMutexLocker locker(&m_lock);
    return m_sequence;
}

std::size_t TTrafficLog::Size() const
{
    QMutexLocker locker(&m_lock);
    return m_ring.size();
}

void TTrafficLog::Clear()
{
    QMutexLocker locker(&m_lock);
    m_ring.clear();
    m_next = 0;
}

void TTrafficLog::SetObserver(Observer observer)
{
    QMutexLocker locker(&m_lock);
    m_observer = std::move(observer);
}

QString EscapeWireBytes(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\\')
            text += QStringLiteral("\\\\");
        else if (byte == '\r')
            text += QStringLiteral("\\r");
        else if (byte == '\n')
            text += QStringLiteral("\\n");
        else if (byte >= 0x20 && byte < 0x7F)
            text += QLatin1Char(char(byte));
        else
            text += QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
    }
    return text;
}

QString FormatTrafficAnswer(const RTrafficRecord& record, const QString& echoMark)
{
    if (record.echo.isEmpty())
        return EscapeWireBytes(record.answer);
    return QStringLiteral("[%1 %2] %3").arg(echoMark, EscapeWireBytes(record.echo), EscapeWireBytes(record.answer));
}

QString FormatTrafficLine(const RTrafficRecord& record, const QString& resultText, const QString& echoMark)
{
    const auto time = [](qint64 ms) {
        return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    };
    return QStringLiteral("%1 %2 %3ms ADR %4 %5 [%6] TX %7 RX %8")
        .arg(time(record.sentMs), time(record.answeredMs).mid(11), QString::number(record.elapsedMs),
             QStringLiteral("%1").arg(record.address, 2, 16, QLatin1Char('0')).toUpper(), record.CommandName(),
             resultText, EscapeWireBytes(record.request), FormatTrafficAnswer(record, echoMark));
}
