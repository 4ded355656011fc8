#pragma once

#include "sim_faults.h"
#include "sim_family_pack.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QMutex>
#include <QString>

#include <chrono>
#include <map>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <random>
#include <vector>

class SimPack;

// One well-formed request the bus heard, for tests that check the bytes a
// program sent.
struct SimRequest {
    std::uint8_t address = 0;
    std::uint8_t cid2 = 0;
    QByteArray info;   // INFO bytes, decoded from the hex pairs
    std::uint8_t version = 0;
    std::uint8_t cid1 = 0;
};

struct SimOptions {
    static constexpr int kMaxPacks = 16;
    int packs = 4;                  // our packs at addresses 1..packs
    int recordsPerLog = 50;         // work-data and alarm records each pack holds
    std::uint32_t seed = 1;         // the same seed plays the same packs
    std::vector<SimFault> faults;
    // Packs of other families (or ours) at these addresses, in place of
    // ours where they share one.
    std::map<std::uint8_t, SimFamily> families;
};

// What the bus sends back for one request: the adapter's echo of the
// request, what goes out as soon as the request is heard (line noise, a
// damaged frame), then the answer text (empty when no pack answers) after
// the pack's delay, in pieces of kChunkCharacters chunkGap apart when that
// is set.
struct SimReply {
    static constexpr qsizetype kChunkCharacters = 62;
    QByteArray echo;
    QByteArray lead;
    QByteArray text;
    std::chrono::milliseconds delay{0};
    std::chrono::milliseconds chunkGap{0};
    bool answered() const { return !text.isEmpty(); }
    // How much later than its start the answer's last piece goes out.
    std::chrono::milliseconds spread() const
    {
        return text.isEmpty() ? std::chrono::milliseconds(0)
                              : chunkGap * std::int64_t((text.size() - 1) / kChunkCharacters);
    }
};

// A simulated RS485 bus of up to 16 packs. Takes request text, finds the
// first well-formed frame in it and returns the addressed pack's answer,
// with the faults it was told to show. Thread-safe: one mutex serialises
// every request, as the line itself would.
class SimBus {
public:
    explicit SimBus(const SimOptions& options = {});
    ~SimBus();
    SimBus(const SimBus&) = delete;
    SimBus& operator=(const SimBus&) = delete;

    SimReply respond(QByteArrayView requestText);

    // The addresses 1..packCount() that our own packs were given.
    int packCount() const;
    // Every address that holds a pack, in order, with the pack's family.
    std::vector<std::pair<std::uint8_t, SimFamily>> packs() const;
    // The family of the pack at address; nothing where no pack is.
    std::optional<SimFamily> familyAt(std::uint8_t address) const;
    void addFault(const SimFault& fault);
    // Parses and adds a fault ("badsum:3"); false with the reason otherwise.
    bool addFault(const QString& text, QString* error = nullptr);
    void clearFaults();
    // Replaces the work-data or alarm log of the pack at address (records:
    // the answer's INFO from its pack number on); the read position starts
    // afresh.
    void setLog(std::uint8_t address, bool alarmLog, const QList<QByteArray>& records);
    // Answers produced so far (silent requests are not counted).
    qint64 answerCount() const;
    // Every well-formed request heard so far, oldest first (at most the last
    // kKeptRequests), and a way to start afresh.
    static constexpr int kKeptRequests = 1000;
    std::vector<SimRequest> requests() const;
    void clearRequests();
    // Of those, the requests with this CID2; with firstInfoByte 0-255 only
    // those whose first INFO byte it is (the sub-command of a record request).
    qint64 requestCount(std::uint8_t cid2, int firstInfoByte = -1) const;
    // Every well-formed request heard since the start or the last
    // clearRequests, by address and CID2 (not limited to kKeptRequests),
    // whatever VER and CID1 it had and whether or not a pack answered.
    qint64 requestsTo(std::uint8_t address, int cid2 = -1) const;
    std::map<std::pair<std::uint8_t, std::uint8_t>, qint64> requestCounts() const;

private:
    struct ActiveFault {
        SimFault fault;
        qint64 answers = 0;   // answers this fault has seen, for "every Nth"
    };

    QByteArray noise(int length);
    // The addressed pack's answer with the faults that change it.
    SimReply answerRequest(QByteArrayView requestText);

    mutable QMutex m_mutex;
    int m_ourAddresses = 0;
    std::map<std::uint8_t, std::unique_ptr<SimPack>> m_packs;
    std::map<std::uint8_t, std::unique_ptr<SimFamilyPack>> m_foreignPacks;
    std::map<std::pair<std::uint8_t, std::uint8_t>, qint64> m_requestCounts;
    std::vector<ActiveFault> m_faults;
    std::mt19937 m_noiseRandom;
    qint64 m_answerCount = 0;
    std::vector<SimRequest> m_requests;
};
