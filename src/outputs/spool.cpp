#include "outputs/spool.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <algorithm>

namespace {

const QString kSuffix = QStringLiteral(".lp");

} // namespace

InfluxSpool::InfluxSpool(QString folder, std::int64_t limitBytes)
    : m_folder(std::move(folder)), m_limitBytes(limitBytes)
{
}

InfluxSpool::~InfluxSpool() = default;

QString InfluxSpool::PathOf(std::uint64_t number) const
{
    return QDir(m_folder).filePath(QStringLiteral("%1").arg(number, 16, 10, QLatin1Char('0')) + kSuffix);
}

bool InfluxSpool::Open(QString& error)
{
    QDir dir(m_folder);
    if (!dir.mkpath(QStringLiteral("."))) {
        error = QStringLiteral("spool: cannot create the folder %1").arg(m_folder);
        return false;
    }
    m_lock = std::make_unique<QLockFile>(dir.filePath(QStringLiteral("spool.lock")));
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        error = m_lock->error() == QLockFile::LockFailedError
            ? QStringLiteral("spool: the folder %1 is in use by another program").arg(m_folder)
            : QStringLiteral("spool: cannot lock the folder %1").arg(m_folder);
        m_lock.reset();
        return false;
    }
    // QSaveFile leaves nothing behind but a finished batch; a name of ours
    // that does not parse is a leftover and goes.
    const QStringList names = dir.entryList({QStringLiteral("*") + kSuffix}, QDir::Files, QDir::Name);
    for (const QString& name : names) {
        bool ok = false;
        const std::uint64_t number = name.chopped(kSuffix.size()).toULongLong(&ok);
        QFile file(dir.filePath(name));
        if (!ok || !file.open(QIODevice::ReadOnly)) {
            file.remove();
            continue;
        }
        const QByteArray lines = file.readAll();
        m_batches.push_back({number, lines.size(), lines.count('\n')});
        m_bytes += lines.size();
        m_lines += lines.count('\n');
        m_next = std::max(m_next, number + 1);
    }
    return true;
}

InfluxSpool::Stored InfluxSpool::Append(const QByteArray& lines, int lineCount, QString* error)
{
    if (m_bytes + lines.size() > m_limitBytes)
        return Stored::Full;
    const std::uint64_t number = m_next;
    QSaveFile file(PathOf(number));
    if (!file.open(QIODevice::WriteOnly) || file.write(lines) != lines.size() || !file.commit()) {
        if (error)
            *error = QStringLiteral("spool: cannot write %1: %2").arg(file.fileName(), file.errorString());
        return Stored::WriteFailed;
    }
    ++m_next;
    m_batches.push_back({number, lines.size(), lineCount});
    m_bytes += lines.size();
    m_lines += lineCount;
    return Stored::Yes;
}

InfluxSpool::Chunk InfluxSpool::Oldest(std::int64_t maxBytes)
{
    Chunk chunk;
    for (std::size_t i = 0; i < m_batches.size();) {
        const Batch& batch = m_batches[i];
        if (chunk.batches > 0 && chunk.lines.size() + batch.bytes > maxBytes)
            break;
        QFile file(PathOf(batch.number));
        if (!file.open(QIODevice::ReadOnly)) {
            // Gone from under us: nothing to send of it.
            m_bytes -= batch.bytes;
            m_lines -= batch.lines;
            m_batches.erase(m_batches.begin() + std::ptrdiff_t(i));
            continue;
        }
        chunk.lines += file.readAll();
        chunk.lineCount += batch.lines;
        ++chunk.batches;
        ++i;
    }
    return chunk;
}

void InfluxSpool::Pop(int batches)
{
    for (int i = 0; i < batches && !m_batches.empty(); ++i) {
        const Batch batch = m_batches.front();
        m_batches.pop_front();
        QFile::remove(PathOf(batch.number));
        m_bytes -= batch.bytes;
        m_lines -= batch.lines;
    }
}
