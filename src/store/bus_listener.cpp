#include "store/bus_listener.h"

#include "store/heard_decode.h"

#include "protocol/command_catalogue.h"
#include "protocol/devoper.h"
#include "protocol/frame.h"
#include "protocol/result_codes.h"
#include "services/settings.h"
#include "store/devinfo.h"
#include "store/pack_poller.h"
#include "store/pack_sample.h"
#include "store/port_open.h"

#include <QThread>

#include <algorithm>
#include <deque>

namespace {

// Enough answer times and request intervals per address for a steady
// median over hours of polling; the extremes are kept exactly.
constexpr std::size_t kKeptTimes = 4096;
// A request heard again before its answer is an echoing adapter's copy
// when it comes this soon after the first.
constexpr qint64 kEchoWithinMs = 100;

// The highest RTN a pack answers with; a frame whose code is higher and
// that follows no request is a request for a command outside the catalogue.
constexpr std::uint8_t kHighestPackRtn = 0x06;

bool IsCatalogueRequest(std::uint8_t code)
{
    return code > kHighestPackRtn && CommandOfCid2(code) != nullptr;
}

std::uint8_t ResultOfFault(FrameFault fault)
{
    switch (fault) {
    case FrameFault::None: return ResultCode::kSuccess;
    case FrameFault::TooShort: return ResultCode::kTooShort;
    case FrameFault::Overlong:
    case FrameFault::Interrupted:
    case FrameFault::LengthMismatch: return ResultCode::kIncomplete;
    case FrameFault::BadCid1: return ResultCode::kBadFrame;
    case FrameFault::BadLengthChecksum: return ResultCode::kBadLengthChecksum;
    case FrameFault::BadChecksum: return ResultCode::kBadChecksum;
    case FrameFault::CutOff: return ResultCode::kCutOff;
    }
    return ResultCode::kBadFrame;
}

std::optional<qint64> Median(std::vector<qint64> values)
{
    if (values.empty())
        return std::nullopt;
    const auto middle = values.begin() + std::ptrdiff_t(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

void Keep(std::deque<qint64>& values, qint64 value)
{
    if (values.size() == kKeptTimes)
        values.pop_front();
    values.push_back(value);
}

} // namespace

struct BusListener::AddressStats {
    RAddressSummary summary;
    std::deque<qint64> answerTimes;
    std::map<std::uint8_t, qint64> lastRequestMs;             // by CID2
    std::map<std::uint8_t, std::deque<qint64>> intervals;     // by CID2
};

struct BusListener::Turn {
    RPackSample sample;
};

std::uint64_t RAddressSummary::BadFrames() const
{
    std::uint64_t total = 0;
    for (std::uint64_t n : badFrames)
        total += n;
    return total;
}

BusListener::BusListener(TDevInfo& store, AppGlobals& globals, IPollView& view, StopRequested stopRequested)
    : m_store(store), m_globals(globals), m_view(view), m_stopRequested(std::move(stopRequested))
{
    m_clock.start();
    m_epochAtStart = QDateTime::currentMSecsSinceEpoch();
}

BusListener::~BusListener() = default;

void BusListener::SetExchangeObserver(ExchangeObserver observer)
{
    m_observer = std::move(observer);
}

void BusListener::SetPortObserver(PortObserver observer)
{
    m_portObserver = std::move(observer);
}

void BusListener::SetSampleSink(IPackSampleSink* sink)
{
    m_sink = sink;
}

void BusListener::SetReplyWindow(std::optional<std::chrono::milliseconds> window)
{
    m_replyWindow = window;
}

void BusListener::SetNoFrameAfter(std::chrono::milliseconds after)
{
    m_noFrameAfterMs = after.count();
}

bool BusListener::RunPass()
{
    if (m_stoppedOnLostPort)
        return false;
    const std::uint8_t port = m_globals.PortNumber.load();
    if (!m_store.IsSerialOpen(port)) {
        m_view.SetCommState(0);
        if (!m_awaySince)
            PortWent();
        if (m_store.PortCanVanish(port) && m_view.PortLost()) {
            m_stoppedOnLostPort = true;
            FinishTurn();
            return false;
        }
        // Opening a port sends nothing; the pause gives up on a stop.
        ReopenPort(m_store, [this] {
            for (int waited = 0; waited < int(PackPoller::kReconnectPause.count()); waited += 20) {
                if (Stopping())
                    return false;
                QThread::msleep(20);
            }
            return !Stopping();
        });
        if (m_store.IsSerialOpen(port))
            PortBack();
        return !Stopping();
    }
    const QByteArray heard = m_store.Listen(kPassRead, m_stopRequested);
    Feed(heard, m_clock.elapsed());
    if (Stopping()) {
        FinishTurn();
        return false;
    }
    return true;
}

void BusListener::PortWent()
{
    m_awaySince = m_clock.elapsed();
    m_wentAt = QDateTime::currentDateTime();
    {
        const std::lock_guard<std::mutex> lock(m_statsLock);
        ++m_portLosses;
        m_awaySinceShared = m_awaySince;
    }
    // What the window had ended by now is a no answer; requests still under
    // way and half a frame cannot be heard out: neither is counted.
    Expire(m_awaySince.value());
    m_pending.clear();
    m_givenUp.clear();
    m_lastAnswer.clear();
    m_stream.DropPartial();
    FinishTurn();
    if (m_portObserver)
        m_portObserver(m_wentAt, std::nullopt);
}

void BusListener::PortBack()
{
    {
        const std::lock_guard<std::mutex> lock(m_statsLock);
        m_portAwayMs += m_clock.elapsed() - *m_awaySince;
        m_awaySinceShared.reset();
    }
    m_awaySince.reset();
    // The lamp as after a reconnection: the line is there, nothing heard yet.
    m_view.SetCommState(2);
    m_view.SetCommState(0);
    if (m_portObserver)
        m_portObserver(m_wentAt, QDateTime::currentDateTime());
}

void BusListener::Feed(QByteArrayView bytes, qint64 atMs)
{
    {
        const std::lock_guard<std::mutex> lock(m_statsLock);
        m_bytesHeard += bytes.size();
    }
    const std::vector<RCutFrame> frames = m_stream.Feed(bytes, atMs);
    {
        const std::lock_guard<std::mutex> lock(m_statsLock);
        m_bytesOutside = m_stream.BytesOutsideFrames();
        m_listenedMs = atMs;
    }
    for (const RCutFrame& cut : frames) {
        Advance(cut.endMs);
        TakeFrame(cut);
        m_lastFrameMs = cut.endMs;
    }
    WatchForFrames(frames, bytes.size(), atMs);
    Advance(atMs);
    if (m_turn && m_pending.empty() && !m_stream.InFrame() && atMs - m_lastFrameMs >= kTurnQuiet.count())
        FinishTurn();
}

void BusListener::Advance(qint64 atMs)
{
    // Only a quiet line cuts a frame: bytes that come after a stall of this
    // thread are the rest of the frame, waiting in the port's buffer.
    if (std::optional<RCutFrame> cut = m_stream.CutOffQuiet(atMs, kQuietLine.count())) {
        Expire(cut->endMs);
        TakeFrame(*cut);
    }
    Expire(atMs);
}

void BusListener::Expire(qint64 atMs)
{
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        if (it->second.deadlineMs < atMs) {
            Pending expired = std::move(it->second);
            it = m_pending.erase(it);
            Close(std::move(expired), HeardOutcome::NoAnswer, expired.deadlineMs);
        } else {
            ++it;
        }
    }
}

qint64 BusListener::WindowFor(std::uint8_t address, std::uint8_t cid2) const
{
    if (m_replyWindow)
        return m_replyWindow->count();
    const CommandInfo* command = CommandOfCid2(cid2);
    // A command outside the catalogue gets the longest wait of those known.
    const int waitMs = command ? command->waitMs : 5000;
    return TDevOper::ReplyWindowMs(address, waitMs);
}

RHeardExchange BusListener::Begin(const RCutFrame& cut, HeardOutcome outcome) const
{
    RHeardExchange heard;
    heard.time = QDateTime::fromMSecsSinceEpoch(m_epochAtStart + cut.endMs);
    heard.address = cut.address;
    heard.outcome = outcome;
    return heard;
}

// An answer and the request it followed, as one exchange.
RHeardExchange BusListener::BeginAnswered(const RCutFrame& request, const RCutFrame& answer,
                                          HeardOutcome outcome) const
{
    RHeardExchange heard = Begin(answer, outcome);
    heard.cid2 = request.code;
    heard.request = request.text;
    heard.answer = answer.text;
    heard.answerMs = answer.endMs - request.endMs;
    heard.pack = PackOfRequest(request);
    heard.family = FamilyOfRequest(request);
    heard.result = answer.code;
    return heard;
}

PackFamily BusListener::FamilyOfRequest(const RCutFrame& request) const
{
    PackFamily known = m_store.DevOper().FamilyState(request.address).family;
    if (const auto heard = m_heardFamilies.find(request.address); heard != m_heardFamilies.end())
        known = heard->second;
    return RequestFamily(request, known);
}

void BusListener::TakeFrame(const RCutFrame& cut)
{
    if (!cut.Sound()) {
        RHeardExchange heard = Begin(cut, HeardOutcome::BadFrame);
        heard.fault = cut.fault;
        heard.result = ResultOfFault(cut.fault);
        heard.answer = cut.text;
        // A damaged answer to a request under way: the request may still get
        // a sound one; if not, its "no answer" says what came.
        if (cut.addressKnown) {
            const auto pending = m_pending.find(cut.address);
            if (pending != m_pending.end())
                pending->second.damage = heard.result;
        }
        Report(heard, cut.addressKnown);
        return;
    }
    const auto pending = m_pending.find(cut.address);
    if (pending != m_pending.end()) {
        Pending& open = pending->second;
        // An adapter that hears its own master hands the request over twice.
        if (cut.text == open.request.text && cut.endMs - open.request.endMs <= kEchoWithinMs + cut.text.size()) {
            const std::lock_guard<std::mutex> lock(m_statsLock);
            ++Stats(cut.address).summary.echoedRequests;
            return;
        }
        if (IsCatalogueRequest(cut.code)) {
            // The master asks again: it gave up on its request. Only a
            // second master asks sooner than any master gives up.
            Pending overtaken = std::move(open);
            m_pending.erase(pending);
            const bool gaveUp = GaveUp(overtaken, cut);
            Close(std::move(overtaken), gaveUp ? HeardOutcome::NoAnswer : HeardOutcome::Overlapped, cut.endMs);
            Open(cut);
            return;
        }
        Pending answered = std::move(open);
        m_pending.erase(pending);
        Pair(std::move(answered), cut);
        return;
    }
    const auto last = m_lastAnswer.find(cut.address);
    if (last != m_lastAnswer.end() && last->second.text == cut.text) {
        RHeardExchange heard = Begin(cut, HeardOutcome::DuplicateAnswer);
        heard.result = cut.code;
        heard.answer = cut.text;
        m_lastAnswer.erase(last);
        Report(heard, true);
        return;
    }
    if (cut.code <= kHighestPackRtn) {
        if (const auto givenUp = m_givenUp.find(cut.address); givenUp != m_givenUp.end()) {
            const RCutFrame request = givenUp->second;
            m_givenUp.erase(givenUp);
            LateAnswer(request, cut);
            return;
        }
        RHeardExchange heard = Begin(cut, HeardOutcome::Unpaired);
        heard.result = cut.code;
        heard.answer = cut.text;
        Report(heard, true);
        return;
    }
    Open(cut);
}

bool BusListener::GaveUp(const Pending& pending, const RCutFrame& request) const
{
    return pending.damage != 0 || request.endMs - pending.request.endMs >= kShortestGiveUp.count();
}

void BusListener::GiveUpBefore(const RCutFrame& request)
{
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        if (it->first != request.address && GaveUp(it->second, request)) {
            Pending given = std::move(it->second);
            it = m_pending.erase(it);
            Close(std::move(given), HeardOutcome::NoAnswer, request.endMs);
        } else {
            ++it;
        }
    }
}

void BusListener::LateAnswer(const RCutFrame& request, const RCutFrame& answer)
{
    RHeardExchange heard = BeginAnswered(request, answer, HeardOutcome::LateAnswer);
    Report(heard, true);
}

void BusListener::Open(const RCutFrame& request)
{
    // A master that sends its next request has given up on the one before.
    GiveUpBefore(request);
    m_lastAnswer.erase(request.address);
    m_givenUp.erase(request.address);
    Pending pending;
    pending.request = request;
    pending.deadlineMs = request.endMs + WindowFor(request.address, request.code);
    m_pending[request.address] = std::move(pending);
    const std::lock_guard<std::mutex> lock(m_statsLock);
    AddressStats& stats = Stats(request.address);
    ++stats.summary.requests;
    const auto previous = stats.lastRequestMs.find(request.code);
    if (previous != stats.lastRequestMs.end())
        Keep(stats.intervals[request.code], request.endMs - previous->second);
    stats.lastRequestMs[request.code] = request.endMs;
}

void BusListener::Close(Pending pending, HeardOutcome outcome, qint64 atMs)
{
    RCutFrame at = pending.request;
    at.endMs = atMs;
    RHeardExchange heard = Begin(at, outcome);
    heard.cid2 = pending.request.code;
    heard.request = pending.request.text;
    heard.pack = PackOfRequest(pending.request);
    heard.family = FamilyOfRequest(pending.request);
    heard.result = outcome == HeardOutcome::NoAnswer
        ? (pending.damage != 0 ? pending.damage : ResultCode::kNoAnswer)
        : ResultCode::kNoAnswer;
    if (outcome == HeardOutcome::NoAnswer) {
        // A silent pack's turn, as polling gives one: the sinks take the
        // pack for down by the same rules.
        m_givenUp[pending.request.address] = pending.request;
        EnterTurn(heard);
    }
    Report(heard, true);
}

void BusListener::Pair(Pending pending, const RCutFrame& answer)
{
    const RCutFrame& request = pending.request;
    RHeardExchange heard = BeginAnswered(request, answer, HeardOutcome::Answered);
    m_lastAnswer[answer.address] = answer;
    if (!CommandOfCid2(request.code))
        heard.outcome = HeardOutcome::UnknownCommand;
    else if (answer.code != ResultCode::kSuccess)
        heard.outcome = HeardOutcome::PackRefused;
    else
        DecodeHeardAnswer(heard, request, answer, m_store.DevOper().FamilySettings());
    if (heard.analog && (heard.family == PackFamily::A || heard.family == PackFamily::B))
        m_heardFamilies[heard.address] = heard.family;
    if (heard.outcome == HeardOutcome::Answered)
        File(heard);
    else if (heard.outcome == HeardOutcome::PackRefused || heard.outcome == HeardOutcome::ForeignLength)
        EnterTurn(heard);
    Report(heard, true);
}

void BusListener::EnterTurn(const RHeardExchange& heard)
{
    const std::uint8_t pack = heard.pack;
    if (!m_turn || m_turn->sample.pack != pack || m_turn->sample.address != heard.address
        || std::any_of(m_turn->sample.exchanges.begin(), m_turn->sample.exchanges.end(),
                       [&](const RExchangeResult& e) { return e.cid2 == heard.cid2; })) {
        FinishTurn();
        m_turn = std::make_unique<Turn>();
        m_turn->sample.pack = pack;
        m_turn->sample.address = heard.address;
        m_turn->sample.barCode = m_barCodes.value(pack);
        m_turn->sample.family = heard.family;
        m_globals.SelectedPack = pack;
        m_globals.SelectedAddress = heard.address;
        m_store.SetCurrentPackNumber(pack);
        m_store.SetCurrentAddress(heard.address);
        m_view.RefreshHead();
    }
    // A and B are told apart by their live values, later in the turn.
    if (heard.family != PackFamily::Unknown)
        m_turn->sample.family = heard.family;
    m_turn->sample.time = m_turn->sample.analog ? m_turn->sample.analog->time : heard.time;   // as the log row
    m_turn->sample.exchanges.push_back({heard.cid2, heard.result});
}

void BusListener::File(const RHeardExchange& heard)
{
    const std::uint8_t pack = heard.pack;
    const bool hasRecord = pack >= 1 && pack <= kMaxPacks;
    EnterTurn(heard);
    m_store.SetLastResult(heard.result);
    if (heard.result == ResultCode::kSuccess && hasRecord)
        m_store.MarkAnswered(pack, heard.time);
    // The lamp as the poller sets it: yellow for the command, then its result.
    m_view.SetCommState(2);
    m_view.SetCommState(heard.result == 0 ? 1 : 2);
    if (heard.analog) {
        m_store.StoreAnalogData(*heard.analog);
        m_store.SetEchoedPackNumber(heard.analog->packNumber);
        m_turn->sample.analog = heard.analog;
        m_view.RefreshAnalog();
    }
    if (heard.alarm) {
        m_store.StoreAlarmData(*heard.alarm);
        m_turn->sample.alarm = heard.alarm;
        m_view.RefreshAlarm();
    }
    if (heard.location) {
        m_store.StoreLocationData(*heard.location);
        m_view.RefreshLocation();
    }
    if (heard.packTime)
        m_view.ShowPackTime(*heard.packTime, heard.result);
    if (heard.barCode) {
        m_barCodes.insert(pack, *heard.barCode);
        m_turn->sample.barCode = *heard.barCode;
        m_store.SetBarCode(*heard.barCode);
        m_view.ShowStatus(m_store.SoftwareVersion(), *heard.barCode, m_store.EchoedPackNumber());
    }
    if (heard.deviceInfo) {
        m_store.SetSoftwareVersion(heard.deviceInfo->softwareVersion);
        m_view.ShowStatus(heard.deviceInfo->softwareVersion, m_store.BarCode(), m_store.EchoedPackNumber());
    }
}

void BusListener::FinishTurn()
{
    if (!m_turn)
        return;
    if (m_sink)
        m_sink->PackSampled(m_turn->sample);
    m_turn.reset();
}

BusListener::AddressStats& BusListener::Stats(std::uint8_t address)
{
    std::unique_ptr<AddressStats>& stats = m_stats[address];
    if (!stats) {
        stats = std::make_unique<AddressStats>();
        stats->summary.address = address;
    }
    return *stats;
}

void BusListener::Report(const RHeardExchange& heard, bool addressKnown)
{
    {
        const std::lock_guard<std::mutex> lock(m_statsLock);
        // A damaged frame's address may be damaged too: it is counted under
        // its address only when a sound frame came from there.
        if (heard.outcome == HeardOutcome::BadFrame && (!addressKnown || !m_stats.contains(heard.address))) {
            ++m_loneBadFrames[std::size_t(heard.fault)];
        } else if (heard.outcome != HeardOutcome::BytesWithoutFrames) {
            AddressStats& stats = Stats(heard.address);
            RAddressSummary& s = stats.summary;
            switch (heard.outcome) {
            case HeardOutcome::Answered:
            case HeardOutcome::PackRefused:
                ++s.answers;
                break;
            case HeardOutcome::ForeignLength:
                ++s.answers;
                ++s.refused;
                break;
            case HeardOutcome::UnknownCommand:
                ++s.answers;
                ++s.unknownCommands;
                break;
            case HeardOutcome::NoAnswer: ++s.noAnswers; break;
            case HeardOutcome::Overlapped: ++s.overlapped; break;
            case HeardOutcome::LateAnswer: ++s.lateAnswers; break;
            case HeardOutcome::DuplicateAnswer: ++s.duplicateAnswers; break;
            case HeardOutcome::Unpaired: ++s.unpaired; break;
            case HeardOutcome::BadFrame: ++s.badFrames[std::size_t(heard.fault)]; break;
            case HeardOutcome::BytesWithoutFrames: break;
            }
            // A late answer's time is the pack's, not the exchange's.
            if (heard.answerMs && heard.outcome != HeardOutcome::LateAnswer) {
                Keep(stats.answerTimes, *heard.answerMs);
                s.answerMinMs = std::min(s.answerMinMs.value_or(*heard.answerMs), *heard.answerMs);
                s.answerMaxMs = std::max(s.answerMaxMs.value_or(*heard.answerMs), *heard.answerMs);
            }
        }
    }
    // The traffic record, marked as heard: nothing of it was sent here.
    RTrafficRecord record;
    record.heard = true;
    record.address = heard.address;
    record.cid2 = heard.cid2;
    record.result = heard.result;
    record.reason = heard.outcome == HeardOutcome::BadFrame ? ResultOfFault(heard.fault) : heard.result;
    record.answeredMs = heard.time.toMSecsSinceEpoch();
    record.elapsedMs = heard.answerMs.value_or(0);
    record.sentMs = record.answeredMs - record.elapsedMs;
    // The pack's own RTN, as the traffic console shows one.
    record.packRtn = heard.outcome == HeardOutcome::PackRefused && heard.answer.size() > 8
        && frame::HexValue(heard.answer[7]) * 16 + frame::HexValue(heard.answer[8]) == heard.result;
    record.foreignAnswer = heard.outcome == HeardOutcome::ForeignLength;
    record.request = heard.request;
    record.answer = heard.answer;
    if (heard.outcome != HeardOutcome::BytesWithoutFrames)
        m_store.DevOper().Traffic().Add(std::move(record));
    if (heard.outcome == HeardOutcome::NoAnswer) {
        m_store.SetLastResult(heard.result);
        m_view.SetCommState(2);
        m_view.SetCommState(heard.result == ResultCode::kNoAnswer ? 0 : 2);
    }
    if (m_observer)
        m_observer(heard);
}

void BusListener::WatchForFrames(const std::vector<RCutFrame>& frames, qsizetype bytes, qint64 atMs)
{
    const bool sound = std::any_of(frames.begin(), frames.end(), [](const RCutFrame& f) { return f.Sound(); });
    if (sound) {
        m_silentSince.reset();
        m_bytesSinceFrame = 0;
        m_noFrameReported = false;
        return;
    }
    if (bytes == 0)
        return;
    if (!m_silentSince)
        m_silentSince = atMs;
    m_bytesSinceFrame += bytes;
    if (m_noFrameReported || atMs - *m_silentSince < m_noFrameAfterMs)
        return;
    m_noFrameReported = true;
    {
        const std::lock_guard<std::mutex> lock(m_statsLock);
        m_reportedNoFrames = true;
    }
    RHeardExchange heard;
    heard.time = QDateTime::fromMSecsSinceEpoch(m_epochAtStart + atMs);
    heard.outcome = HeardOutcome::BytesWithoutFrames;
    heard.bytesWithoutFrame = m_bytesSinceFrame;
    Report(heard, false);
}

RBusSummary BusListener::Summary() const
{
    const std::lock_guard<std::mutex> lock(m_statsLock);
    RBusSummary summary;
    summary.bytesHeard = m_bytesHeard;
    summary.bytesOutsideFrames = m_bytesOutside;
    summary.bytesWithoutFrames = m_reportedNoFrames;
    summary.listenedMs = m_listenedMs;
    summary.portLosses = m_portLosses;
    summary.portAwayMs = m_portAwayMs + (m_awaySinceShared ? m_clock.elapsed() - *m_awaySinceShared : 0);
    RAddressSummary& t = summary.totals;
    t.badFrames = m_loneBadFrames;
    std::vector<qint64> allTimes;
    for (const auto& [address, stats] : m_stats) {
        RAddressSummary s = stats->summary;
        std::vector<qint64> times(stats->answerTimes.begin(), stats->answerTimes.end());
        s.answerMedianMs = Median(times);
        allTimes.insert(allTimes.end(), times.begin(), times.end());
        // The period of the command asked most often.
        const std::deque<qint64>* busiest = nullptr;
        for (const auto& [cid2, intervals] : stats->intervals)
            if (!busiest || intervals.size() > busiest->size())
                busiest = &intervals;
        if (busiest)
            s.pollPeriodMs = Median(std::vector<qint64>(busiest->begin(), busiest->end()));
        summary.addresses.push_back(s);
        t.requests += s.requests;
        t.answers += s.answers;
        t.noAnswers += s.noAnswers;
        t.refused += s.refused;
        t.overlapped += s.overlapped;
        t.lateAnswers += s.lateAnswers;
        t.duplicateAnswers += s.duplicateAnswers;
        t.echoedRequests += s.echoedRequests;
        t.unpaired += s.unpaired;
        t.unknownCommands += s.unknownCommands;
        for (int f = 0; f < kFrameFaultCount; ++f)
            t.badFrames[std::size_t(f)] += s.badFrames[std::size_t(f)];
        if (s.answerMinMs)
            t.answerMinMs = std::min(t.answerMinMs.value_or(*s.answerMinMs), *s.answerMinMs);
        if (s.answerMaxMs)
            t.answerMaxMs = std::max(t.answerMaxMs.value_or(*s.answerMaxMs), *s.answerMaxMs);
    }
    t.answerMedianMs = Median(allTimes);
    return summary;
}
