#pragma once

#include <QByteArray>
#include <QLockFile>
#include <QString>

#include <cstdint>
#include <deque>
#include <memory>

// Batches of lines that could not be sent yet, kept on disk in the order
// they came, one file a batch ("0000000000000001.lp", numbered on), so a
// later run sends what an earlier one left. The folder is locked while
// open: two programs never share one. Not thread-safe: the writer's thread
// owns it.
class InfluxSpool {
public:
    InfluxSpool(QString folder, std::int64_t limitBytes);
    ~InfluxSpool();

    // Creates the folder, takes its lock and counts what an earlier run left
    // (a batch half written when that run ended is removed). False with a
    // message when the folder cannot be used.
    bool Open(QString& error);

    enum class Stored { Yes, Full, WriteFailed };
    // Keeps a batch after the others. Full when it does not fit in the
    // limit (the batch is not kept); WriteFailed with a message when the
    // disk refused it.
    Stored Append(const QByteArray& lines, int lineCount, QString* error = nullptr);

    struct Chunk {
        QByteArray lines;
        int batches = 0;
        std::int64_t lineCount = 0;
    };
    // The oldest batches joined, up to maxBytes (always at least one batch).
    // A batch that can no longer be read is left out and removed.
    Chunk Oldest(std::int64_t maxBytes);
    // Removes the oldest batches, once they were sent or refused.
    void Pop(int batches);

    bool Empty() const { return m_batches.empty(); }
    std::int64_t Bytes() const { return m_bytes; }
    std::int64_t Lines() const { return m_lines; }
    int Batches() const { return int(m_batches.size()); }
    const QString& Folder() const { return m_folder; }

private:
    struct Batch {
        std::uint64_t number = 0;
        std::int64_t bytes = 0;
        std::int64_t lines = 0;
    };
    QString PathOf(std::uint64_t number) const;

    QString m_folder;
    std::int64_t m_limitBytes;
    std::unique_ptr<QLockFile> m_lock;
    std::deque<Batch> m_batches;
    std::uint64_t m_next = 1;
    std::int64_t m_bytes = 0;
    std::int64_t m_lines = 0;
};
