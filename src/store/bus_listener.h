#pragma once

#include "protocol/frame_stream.h"
#include "protocol/records.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QMap>
#include <QString>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class TDevInfo;
class IPollView;
class IPackSampleSink;
struct AppGlobals;

// How one exchange heard on the bus ended.
enum class HeardOutcome : std::uint8_t {
    Answered,         // a sound answer that fits the command: decoded and filed (result 0)
    PackRefused,      // the pack answered with an RTN other than 0, or its answer did not decode (result)
    NoAnswer,         // no answer before the master's next request or within the reply window
                      // (result ResultCode::kNoAnswer, or the damaged answer's code)
    ForeignLength,    // a sound answer whose length cannot belong to the command: refused, never decoded
    Overlapped,       // another request to the same address came sooner than any master gives up (a second master)
    LateAnswer,       // an answer to an exchange its master had given up on: counted, not filed
    DuplicateAnswer,  // an answer heard again after its exchange ended: counted, not filed again
    Unpaired,         // an answer with no request before it
    UnknownCommand,   // a CID2 outside the catalogue: the exchange shown raw, never decoded
    BadFrame,         // a frame that failed its checks (fault)
    BytesWithoutFrames, // bytes kept coming for a while and none made a sound frame (once until a frame comes)
};

// The device information as heard.
struct RHeardDeviceInfo {
    std::uint16_t softwareVersion = 0;
    QString deviceName;
    QString manufacturer;

    friend bool operator==(const RHeardDeviceInfo&, const RHeardDeviceInfo&) = default;
};

// One exchange heard: a request and its answer, or a frame on its own.
struct RHeardExchange {
    QDateTime time;                 // PC clock when the exchange ended (answer, window or frame)
    std::uint8_t address = 0;
    std::uint8_t cid2 = 0;          // the request's CID2 (0: no request)
    std::uint8_t pack = 0;          // the pack number the request names first, where its INFO starts with one
    // Whose protocol the request spoke (its VER and CID1; A and B, which
    // share both, told apart by their live values): Unknown while not told.
    PackFamily family = PackFamily::Ours;
    HeardOutcome outcome = HeardOutcome::Answered;
    std::uint8_t result = 0;        // as polling gives it: 0, the pack's RTN, kNoAnswer, kInvalidData, a decoder's code
    FrameFault fault = FrameFault::None;   // BadFrame: what was wrong
    QByteArray request;             // as heard, "~" to carriage return
    QByteArray answer;
    std::optional<qint64> answerMs; // from the request's last character to the answer's
    // The decoded answer, present only for a sound answer that fits.
    std::optional<RAnalogData> analog;
    std::optional<RAlarmData> alarm;
    std::optional<RDeviceTime> packTime;
    std::optional<QString> barCode;
    std::optional<RHeardDeviceInfo> deviceInfo;
    std::optional<RLocationData> location;
    // BytesWithoutFrames: how many bytes came without a sound frame.
    qint64 bytesWithoutFrame = 0;
};

// The bus's health per address.
struct RAddressSummary {
    std::uint8_t address = 0;
    std::uint64_t requests = 0;         // requests heard (an adapter's echo of one is not another)
    std::uint64_t answers = 0;          // answers paired with their request (any RTN)
    std::uint64_t noAnswers = 0;
    std::uint64_t refused = 0;          // answers of a length the command cannot have
    std::uint64_t overlapped = 0;       // requests overtaken by another before their answer
    std::uint64_t lateAnswers = 0;      // answers after their exchange had ended as no answer
    std::uint64_t duplicateAnswers = 0;
    std::uint64_t echoedRequests = 0;   // a request heard twice in a row
    std::uint64_t unpaired = 0;
    std::uint64_t unknownCommands = 0;
    std::array<std::uint64_t, kFrameFaultCount> badFrames{};   // by FrameFault
    std::optional<qint64> answerMinMs;
    std::optional<qint64> answerMedianMs;
    std::optional<qint64> answerMaxMs;
    // The master's polling period for this pack: the median time between
    // two requests of the command it asks most often.
    std::optional<qint64> pollPeriodMs;

    std::uint64_t BadFrames() const;
};

struct RBusSummary {
    std::vector<RAddressSummary> addresses;   // by address, those heard
    RAddressSummary totals;                   // every address, plus bad frames with no address
    qint64 bytesHeard = 0;
    qint64 bytesOutsideFrames = 0;            // skipped: no "~" before them
    bool bytesWithoutFrames = false;          // reported once: the line speed may be wrong
    qint64 listenedMs = 0;
    std::uint64_t portLosses = 0;             // times the port went away
    qint64 portAwayMs = 0;                    // how long it was away in all (so far, while away)
};

// Listens to a bus that another master polls: cuts frames from what the line
// carries, pairs each answer with the request before it to the same address,
// decodes the sound answers with the polling's own decoders (another maker's
// live values and alarm states with its family's decoders) and files them
// in the store as polling would, and drives the poll view as the poller does
// (the lamp, the pack in focus, the analog and alarm pages). It never sends
// a byte and never takes a bus hold.
//
// RunPass runs on the polling thread (or the command line's main thread);
// Summary may be asked from any thread.
class BusListener {
public:
    using StopRequested = std::function<bool()>;
    using ExchangeObserver = std::function<void(const RHeardExchange&)>;
    // The port went away at went (back empty), or came back at back.
    using PortObserver = std::function<void(const QDateTime& went, const std::optional<QDateTime>& back)>;

    BusListener(TDevInfo& store, AppGlobals& globals, IPollView& view, StopRequested stopRequested);
    ~BusListener();

    // Before running: called for every exchange heard, on the listening thread.
    void SetExchangeObserver(ExchangeObserver observer);
    // Before running: told when the port goes away and when it is back.
    void SetPortObserver(PortObserver observer);
    // Before running: takes each heard pack's turn (its analog and alarm
    // answers) as a sample.
    void SetSampleSink(IPackSampleSink* sink);
    // Before running: the reply window for every command; by default each
    // command's own, as polling waits for it.
    void SetReplyWindow(std::optional<std::chrono::milliseconds> window);
    // Before running: bytes for this long with no sound frame are reported once.
    void SetNoFrameAfter(std::chrono::milliseconds after);

    // Reads what arrives for up to kPassRead, then cuts, pairs and files.
    // False when a stop was asked for, or the port was lost and the view's
    // PortLost chose to stop.
    bool RunPass();
    bool StoppedOnLostPort() const { return m_stoppedOnLostPort; }

    // Takes bytes as if they had arrived at atMs on the monotonic clock of
    // the caller (tests and the benchmark feed scripted streams), then
    // closes the requests whose window has passed by then.
    void Feed(QByteArrayView bytes, qint64 atMs);
    // Closes the requests whose reply window has passed by atMs.
    void Advance(qint64 atMs);

    // Any thread: a copy under a lock.
    RBusSummary Summary() const;

    static constexpr std::chrono::milliseconds kPassRead{100};
    static constexpr std::chrono::milliseconds kDefaultNoFrameAfter{3000};
    // A frame begun and then no byte for this long was cut off (half an
    // answer, then silence).
    static constexpr std::chrono::milliseconds kQuietLine{200};
    // A turn whose pack was answered and after which the line stays quiet
    // this long ends without waiting for the master's next request, so that
    // the last pack of a round reaches the outputs (its CSV row among them)
    // when it was heard, not a polling period later.
    static constexpr std::chrono::milliseconds kTurnQuiet{1000};
    // No master gives up on a request sooner than this: a request heard
    // this soon after another, with no answer between, is a second
    // master's. Masters wait 300 ms and more.
    static constexpr std::chrono::milliseconds kShortestGiveUp{150};

private:
    struct Pending {
        RCutFrame request;
        qint64 deadlineMs = 0;
        std::uint8_t damage = 0;   // the result of a damaged frame heard from the address meanwhile
    };
    struct AddressStats;
    struct Turn;

    RHeardExchange Begin(const RCutFrame& cut, HeardOutcome outcome) const;
    RHeardExchange BeginAnswered(const RCutFrame& request, const RCutFrame& answer, HeardOutcome outcome) const;
    void TakeFrame(const RCutFrame& cut);
    void Open(const RCutFrame& request);
    // The exchange under way to another address ends as no answer when the
    // master could have given up on it (its answer was damaged, or it was
    // sent long enough ago).
    void GiveUpBefore(const RCutFrame& request);
    bool GaveUp(const Pending& pending, const RCutFrame& request) const;
    void Expire(qint64 atMs);
    void LateAnswer(const RCutFrame& request, const RCutFrame& answer);
    void Close(Pending pending, HeardOutcome outcome, qint64 atMs);
    void Pair(Pending pending, const RCutFrame& answer);
    void File(const RHeardExchange& heard);
    // Adds the exchange to its pack's turn, ending the turn before when the
    // master moved to another pack or asks the same command again.
    void EnterTurn(const RHeardExchange& heard);
    void FinishTurn();
    // Counts it, records it in the traffic log and hands it to the observer.
    void Report(const RHeardExchange& heard, bool addressKnown);
    // The port went away: what was under way can no longer be heard out.
    void PortWent();
    void PortBack();
    void WatchForFrames(const std::vector<RCutFrame>& frames, qsizetype bytes, qint64 atMs);
    // The family of a request, with what was heard of its address before.
    PackFamily FamilyOfRequest(const RCutFrame& request) const;
    qint64 WindowFor(std::uint8_t address, std::uint8_t cid2) const;
    AddressStats& Stats(std::uint8_t address);   // with m_statsLock held
    bool Stopping() const { return m_stopRequested && m_stopRequested(); }

    TDevInfo& m_store;
    AppGlobals& m_globals;
    IPollView& m_view;
    StopRequested m_stopRequested;
    ExchangeObserver m_observer;
    PortObserver m_portObserver;
    std::optional<qint64> m_awaySince;      // the port went away then, on m_clock
    QDateTime m_wentAt;
    IPackSampleSink* m_sink = nullptr;
    std::optional<std::chrono::milliseconds> m_replyWindow;
    qint64 m_noFrameAfterMs = kDefaultNoFrameAfter.count();

    FrameStream m_stream;
    QElapsedTimer m_clock;
    qint64 m_epochAtStart = 0;
    std::map<std::uint8_t, Pending> m_pending;      // by address
    std::map<std::uint8_t, RCutFrame> m_lastAnswer; // by address: an answer heard twice is known by it
    std::map<std::uint8_t, RCutFrame> m_givenUp;    // by address: the request that ended with no answer
    QMap<std::uint8_t, QString> m_barCodes;         // by pack, as heard
    std::map<std::uint8_t, PackFamily> m_heardFamilies;   // by address: A or B, as their live values told
    bool m_stoppedOnLostPort = false;
    std::optional<qint64> m_silentSince;    // bytes with no sound frame since then
    qint64 m_bytesSinceFrame = 0;
    bool m_noFrameReported = false;
    std::unique_ptr<Turn> m_turn;           // the pack whose turn is under way
    qint64 m_lastFrameMs = 0;               // when the last frame ended

    mutable std::mutex m_statsLock;
    std::map<std::uint8_t, std::unique_ptr<AddressStats>> m_stats;   // guarded by m_statsLock
    std::array<std::uint64_t, kFrameFaultCount> m_loneBadFrames{};   // guarded: bad frames with no address
    bool m_reportedNoFrames = false;                                 // guarded
    qint64 m_bytesHeard = 0;                                         // guarded
    qint64 m_bytesOutside = 0;                                       // guarded
    qint64 m_listenedMs = 0;                                         // guarded
    std::uint64_t m_portLosses = 0;                                  // guarded
    qint64 m_portAwayMs = 0;                                         // guarded: outages ended
    std::optional<qint64> m_awaySinceShared;                         // guarded: the outage under way
};
