#include "outputs/spool.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

const QString kSuffix = QStringLiteral(".lp");

// A rename is only durable once the folder that holds the name is synced.
void SyncFolder(const QString& folder)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#else
    Q_UNUSED(folder);
#endif
}

} // namespace

QByteArray WholeInfluxLines(const QByteArray& text, std::int64_t& lineCount, std::int64_t& cut)
{
    lineCount = 0;
    const qsizetype end = text.lastIndexOf('\n') + 1;
    cut = end < text.size() && !text.mid(end).trimmed().isEmpty() ? 1 : 0;
    QByteArray lines;
    lines.reserve(end);
    for (qsizetype at = 0; at < end;) {
        const qsizetype next = text.indexOf('\n', at) + 1;
        if (next - at > 1 && !text.sliced(at, next - at - 1).trimmed().isEmpty()) {
            lines.append(text.sliced(at, next - at));
            ++lineCount;
        }
        at = next;
    }
    return lines;
}

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
    const QString shown = QDir::toNativeSeparators(m_folder);
    QDir dir(m_folder);
    if (!dir.mkpath(QStringLiteral("."))) {
        error = QStringLiteral("cannot create the spool folder %1").arg(shown);
        return false;
    }
    m_lock = std::make_unique<QLockFile>(dir.filePath(QStringLiteral("spool.lock")));
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        error = m_lock->error() == QLockFile::LockFailedError
            ? QStringLiteral("the spool folder %1 is in use by another program").arg(shown)
            : QStringLiteral("cannot lock the spool folder %1 (is it writable?)").arg(shown);
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
        std::int64_t lines = 0;
        std::int64_t cut = 0;
        WholeInfluxLines(file.readAll(), lines, cut);
        m_batches.push_back({number, file.size(), lines});
        m_bytes += file.size();
        m_lines += lines;
        m_next = std::max(m_next, number + 1);
    }
    return true;
}

bool InfluxSpool::Write(const QString& path, const QByteArray& lines, QString* error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(lines) != lines.size() || !file.commit()) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    SyncFolder(m_folder);
    return true;
}

InfluxSpool::Stored InfluxSpool::Append(const QByteArray& lines, std::int64_t lineCount, QString* error)
{
    if (m_bytes + lines.size() > m_limitBytes)
        return Stored::Full;
    const std::uint64_t number = m_next;
    if (!Write(PathOf(number), lines, error))
        return Stored::WriteFailed;
    ++m_next;
    m_batches.push_back({number, lines.size(), lineCount});
    m_bytes += lines.size();
    m_lines += lineCount;
    return Stored::Yes;
}

void InfluxSpool::Forget(const Entry& entry)
{
    m_bytes -= entry.bytes;
    m_lines -= entry.lines;
}

std::optional<InfluxSpool::Batch> InfluxSpool::Oldest()
{
    while (!m_batches.empty()) {
        const Entry entry = m_batches.front();
        QFile file(PathOf(entry.number));
        if (!file.open(QIODevice::ReadOnly)) {
            // Gone from under us: nothing to send of it.
            Forget(entry);
            m_batches.pop_front();
            continue;
        }
        Batch batch;
        batch.file = QDir::toNativeSeparators(file.fileName());
        batch.lines = WholeInfluxLines(file.readAll(), batch.lineCount, batch.cutLines);
        // What the file holds now is what counts (it may have been edited).
        m_lines += batch.lineCount - entry.lines;
        m_batches.front().lines = batch.lineCount;
        return batch;
    }
    return std::nullopt;
}

bool InfluxSpool::Pop(QString* error)
{
    if (m_batches.empty())
        return true;
    const Entry entry = m_batches.front();
    m_batches.pop_front();
    Forget(entry);
    QFile file(PathOf(entry.number));
    if (!file.remove() && file.exists()) {
        if (error)
            *error = QStringLiteral("cannot remove %1: %2")
                         .arg(QDir::toNativeSeparators(file.fileName()), file.errorString());
        return false;
    }
    return true;
}

bool InfluxSpool::ReplaceOldest(const QByteArray& lines, std::int64_t lineCount, QString* error)
{
    if (m_batches.empty())
        return true;
    Entry& entry = m_batches.front();
    if (!Write(PathOf(entry.number), lines, error))
        return false;
    m_bytes += lines.size() - entry.bytes;
    m_lines += lineCount - entry.lines;
    entry.bytes = lines.size();
    entry.lines = lineCount;
    return true;
}
