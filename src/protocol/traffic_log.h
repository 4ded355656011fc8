#pragma once

#include <QByteArray>
#include <QMutex>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// One exchange on the link as it happened: the request as sent, the answer
// bytes exactly as they arrived (noise, damage and all), when each went,
// and what the answer check made of it.
struct RTrafficRecord {
    std::uint64_t sequence = 0;   // 1 for the first exchange recorded
    qint64 sentMs = 0;            // ms since the epoch, when the request went out
    qint64 answeredMs = 0;        // ms since the epoch, when the read ended
    qint64 elapsedMs = 0;
    std::uint8_t address = 0;
    std::uint8_t cid2 = 0;
    std::uint8_t result = 0;      // the command's result code
    // What was wrong with the answer: the first fault the answer check met
    // (a bad checksum, say, where the search that goes on past the damaged
    // frame ends the result as "no start character"); else the result.
    std::uint8_t reason = 0;
    bool examined = true;         // false: the answer was not checked (a stop request)
    bool packRtn = false;         // a sound frame came and the result is the pack's RTN
    bool foreignAnswer = false;   // a sound frame whose length belongs to another command
    bool heard = false;           // heard on a bus another master polls: this program sent nothing
    // The values the caller gave, where the request carries them changed
    // (a negative calibration value goes out one higher): "-5 / 3000".
    QString givenValues;
    QByteArray request;
    // The adapter's echo of the request, skipped before the answer (empty
    // when the line gave none back).
    QByteArray echo;
    QByteArray answer;

    bool Failed() const { return examined && result != 0; }
    // The command's name from the catalogue, or "CID2 xx".
    QString CommandName() const;
    // The two values of a calibration write as they went on the wire
    // ("-4 / 3000"); empty for any other request.
    QString CalibrationWireNumbers() const;
};

// The last exchanges on a link, in a ring of fixed size: the polling thread
// (or whichever thread runs a command) adds, a window or a tool reads
// copies. Costs nothing beyond the ring when nobody reads it. Thread safe.
class TTrafficLog {
public:
    static constexpr std::size_t kDefaultCapacity = 10000;
    using Observer = std::function<void(const RTrafficRecord&)>;

    explicit TTrafficLog(std::size_t capacity = kDefaultCapacity);

    // Numbers the record and keeps it, dropping the oldest when full; then
    // hands a copy to the observer, if one is set (outside the ring's lock).
    void Add(RTrafficRecord record);
    // Copies of the records kept whose sequence is above `after`, oldest first.
    std::vector<RTrafficRecord> Since(std::uint64_t after) const;
    // The sequence of the newest record (0 when none was ever added).
    std::uint64_t LastSequence() const;
    std::size_t Size() const;
    std::size_t Capacity() const { return m_capacity; }
    void Clear();
    // Called for every record added, on the thread that adds it. An empty
    // observer removes it.
    void SetObserver(Observer observer);

private:
    const std::size_t m_capacity;
    mutable QMutex m_lock;
    std::vector<RTrafficRecord> m_ring;
    std::size_t m_next = 0;       // slot the next record goes to once the ring is full
    std::uint64_t m_sequence = 0;
    Observer m_observer;
};

// Bytes for a line of text: printable ASCII as it is, a backslash as "\\",
// CR and LF as "\r" and "\n", anything else as "\xNN".
QString EscapeWireBytes(const QByteArray& bytes);
// The answer as a line shows it: with a skipped echo, echoMark and the
// echo's bytes in brackets before the answer ("[echo skipped ~21...\r] ~21...").
QString FormatTrafficAnswer(const RTrafficRecord& record, const QString& echoMark);
// One line for a record: times with milliseconds, elapsed time, address,
// command, result, request and answer. resultText and echoMark are the
// front end's texts for the result and for a skipped echo (the core holds
// no texts).
QString FormatTrafficLine(const RTrafficRecord& record, const QString& resultText,
                          const QString& echoMark = QStringLiteral("echo skipped"));
