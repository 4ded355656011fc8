#pragma once

#include <QByteArray>
#include <QLockFile>
#include <QString>

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>

// Batches of lines that could not be sent yet, kept on disk in the order
// they came, one file a batch ("0000000000000001.lp", numbered on), so a
// later run sends what an earlier one left. Each batch is sent as a request
// of its own. A file is written whole (written aside, synced, renamed, the
// folder synced) and removed only once the server took it. The folder is
// locked while open: two programs never share one. Not thread-safe: the
// writer's thread owns it.
class InfluxSpool {
public:
    InfluxSpool(QString folder, std::int64_t limitBytes);
    ~InfluxSpool();

    // Creates the folder, takes its lock and counts what an earlier run left
    // (a batch half written when that run ended is removed). False with a
    // message naming the folder when it cannot be used.
    bool Open(QString& error);

    enum class Stored { Yes, Full, WriteFailed };
    // Keeps a batch after the others. Full when it does not fit in the
    // limit (the batch is not kept); WriteFailed with a message when the
    // disk refused it.
    Stored Append(const QByteArray& lines, std::int64_t lineCount, QString* error = nullptr);

    struct Batch {
        QByteArray lines;              // whole lines only, each ending in "\n"
        std::int64_t lineCount = 0;
        // 1 when the file ended inside a line (cut by hand or by a full
        // disk): that piece is not in lines.
        std::int64_t cutLines = 0;
        QString file;
    };
    // The oldest batch, read line by line: a piece after the last line
    // break is left out and counted, so it never joins another line. A
    // file that can no longer be read is forgotten and the next one read.
    std::optional<Batch> Oldest();
    // Removes the oldest batch, once it was sent or refused; false with a
    // message when its file stays on disk (a later run would send it
    // again). The batch is forgotten either way.
    bool Pop(QString* error = nullptr);
    // Keeps only these lines of the oldest batch (the rest were sent).
    bool ReplaceOldest(const QByteArray& lines, std::int64_t lineCount, QString* error = nullptr);

    bool Empty() const { return m_batches.empty(); }
    std::int64_t Bytes() const { return m_bytes; }
    std::int64_t Lines() const { return m_lines; }
    int Batches() const { return int(m_batches.size()); }
    const QString& Folder() const { return m_folder; }

private:
    struct Entry {
        std::uint64_t number = 0;
        std::int64_t bytes = 0;
        std::int64_t lines = 0;
    };
    QString PathOf(std::uint64_t number) const;
    bool Write(const QString& path, const QByteArray& lines, QString* error);
    void Forget(const Entry& entry);

    QString m_folder;
    std::int64_t m_limitBytes;
    std::unique_ptr<QLockFile> m_lock;
    std::deque<Entry> m_batches;
    std::uint64_t m_next = 1;
    std::int64_t m_bytes = 0;
    std::int64_t m_lines = 0;
};

// The whole lines of a text: every non-empty line that ends in "\n", in
// order; what follows the last line break is counted in cut (0 or 1).
QByteArray WholeInfluxLines(const QByteArray& text, std::int64_t& lineCount, std::int64_t& cut);
