#include "sim_bus.h"

#include "protocol/answer_length.h"
#include "protocol/frame.h"
#include "sim_pack.h"

#include <QMutexLocker>

#include <algorithm>

namespace {

// Line noise: characters a disturbed RS485 line delivers before an answer.
// Never "~", so the answer's own start character is the first one.
constexpr char kNoiseCharacters[] = "\x00\xFF#*?!%&@ xq0\n";

// A pack that answers only noise sends this many characters: enough for the
// host to search them for a frame.
constexpr int kGarbageLength = 24;
constexpr std::uint8_t kReadDateTimeCid2 = 0x4D;
constexpr std::uint8_t kWriteFunctionSwitchesCid2 = 0xE2;

// Index of the first CID1 digit in a frame's text.
constexpr qsizetype kCid1Digit = 5;

bool IsEveryNth(qint64 count, int n)
{
    return n > 0 && count % n == 0;
}

// Flips the last CHKSUM digit so that the sum no longer matches.
void SpoilChecksum(QByteArray& text)
{
    const qsizetype digit = text.size() - 2;
    if (digit > 0)
        text[digit] = text[digit] == '0' ? '1' : '0';
}

// The INFO a host sends with a read command, asking the pack at address:
// the record reads ask for the first record, the calibration read for the
// voltage reference, the shield access only reads.
QByteArray ReadRequestInfo(std::uint8_t cid2, std::uint8_t address)
{
    const char pack = static_cast<char>(address);
    switch (cid2) {
    case 0x4B:
    case 0x4C:
        return QByteArray(1, '\0') + pack;
    case 0xED:
        return QByteArray(1, pack) + '\x01' + '\x0B';
    case 0xF7:
        return QByteArray(1, pack) + QByteArray(5, '\0');
    default:
        return QByteArray(1, pack);
    }
}

// The answer of a command that carries nothing but its result: a write
// answered this way changes nothing in the pack.
bool AnswersWithResultOnly(std::uint8_t cid2)
{
    const CommandInfo* command = CommandOfCid2(cid2);
    return command && kAnswerLengths[std::size_t(command->id)].shape == AnswerShape::ResultOnly;
}

// Cuts a live answer after its cells or after its temperatures, as older
// firmware ends it. The analog answer carries two bytes per value, the alarm
// answer one state byte.
void CutLiveAnswer(QByteArray& infoText, std::uint8_t cid2, int field)
{
    const QByteArray info = QByteArray::fromHex(infoText);
    const int width = cid2 == 0x42 ? 2 : 1;
    if (info.size() < 2)
        return;
    qsizetype end = 2 + width * std::uint8_t(info[1]);
    if (field == kShortAfterTemperatures && end < info.size())
        end += 1 + width * std::uint8_t(info[end]);
    infoText.truncate(2 * std::min(end, info.size()));
}

} // namespace

SimBus::SimBus(const SimOptions& options) : m_noiseRandom(options.seed)
{
    const int packs = std::clamp(options.packs, 1, SimOptions::kMaxPacks);
    const int records = std::max(options.recordsPerLog, 0);
    m_ourAddresses = packs;
    for (int number = 1; number <= packs; ++number)
        m_packs[std::uint8_t(number)] = std::make_unique<SimPack>(std::uint8_t(number), packs, records, options.seed);
    for (const auto& [address, family] : options.families) {
        m_packs.erase(address);
        m_foreignPacks.erase(address);
        if (family == SimFamily::Ours && address >= 1 && address <= SimOptions::kMaxPacks)
            m_packs[address] = std::make_unique<SimPack>(address, packs, records, options.seed);
        else if (family != SimFamily::Ours)
            m_foreignPacks[address] = std::make_unique<SimFamilyPack>(family, address, options.seed);
    }
    for (const SimFault& fault : options.faults)
        m_faults.push_back({fault, 0});
}

SimBus::~SimBus() = default;

int SimBus::packCount() const
{
    QMutexLocker locker(&m_mutex);
    return m_ourAddresses;
}

std::vector<std::pair<std::uint8_t, SimFamily>> SimBus::packs() const
{
    QMutexLocker locker(&m_mutex);
    std::vector<std::pair<std::uint8_t, SimFamily>> all;
    for (const auto& [address, pack] : m_packs)
        all.emplace_back(address, SimFamily::Ours);
    for (const auto& [address, pack] : m_foreignPacks)
        all.emplace_back(address, pack->family());
    std::sort(all.begin(), all.end());
    return all;
}

std::optional<SimFamily> SimBus::familyAt(std::uint8_t address) const
{
    QMutexLocker locker(&m_mutex);
    if (m_packs.count(address))
        return SimFamily::Ours;
    if (const auto foreign = m_foreignPacks.find(address); foreign != m_foreignPacks.end())
        return foreign->second->family();
    return std::nullopt;
}

void SimBus::addFault(const SimFault& fault)
{
    QMutexLocker locker(&m_mutex);
    m_faults.push_back({fault, 0});
}

bool SimBus::addFault(const QString& text, QString* error)
{
    const std::optional<SimFault> fault = ParseSimFault(text, error);
    if (!fault)
        return false;
    addFault(*fault);
    return true;
}

void SimBus::clearFaults()
{
    QMutexLocker locker(&m_mutex);
    m_faults.clear();
}

qint64 SimBus::answerCount() const
{
    QMutexLocker locker(&m_mutex);
    return m_answerCount;
}

void SimBus::setLog(std::uint8_t address, bool alarmLog, const QList<QByteArray>& records)
{
    QMutexLocker locker(&m_mutex);
    if (const auto pack = m_packs.find(address); pack != m_packs.end())
        pack->second->setLog(alarmLog, records);
}

qint64 SimBus::requestCount(std::uint8_t cid2, int firstInfoByte) const
{
    QMutexLocker locker(&m_mutex);
    qint64 count = 0;
    for (const SimRequest& heard : m_requests) {
        if (heard.cid2 == cid2
            && (firstInfoByte < 0 || (!heard.info.isEmpty() && std::uint8_t(heard.info.front()) == firstInfoByte)))
            ++count;
    }
    return count;
}

qint64 SimBus::requestsTo(std::uint8_t address, int cid2) const
{
    QMutexLocker locker(&m_mutex);
    qint64 count = 0;
    for (const auto& [key, heard] : m_requestCounts)
        if (key.first == address && (cid2 < 0 || key.second == cid2))
            count += heard;
    return count;
}

std::map<std::pair<std::uint8_t, std::uint8_t>, qint64> SimBus::requestCounts() const
{
    QMutexLocker locker(&m_mutex);
    return m_requestCounts;
}

QByteArray SimBus::noise(int length)
{
    QByteArray text;
    for (int i = 0; i < length; ++i)
        text.append(kNoiseCharacters[m_noiseRandom() % (sizeof kNoiseCharacters - 1)]);
    return text;
}

SimReply SimBus::respond(QByteArrayView requestText)
{
    SimReply reply = answerRequest(requestText);
    QMutexLocker locker(&m_mutex);
    for (const ActiveFault& active : m_faults) {
        // The adapter hears whatever went out, whether a pack answers or not.
        if (active.fault.kind == SimFaultKind::Echo)
            reply.echo = requestText.toByteArray();
        if (active.fault.kind == SimFaultKind::Chunks)
            reply.chunkGap = std::chrono::milliseconds(active.fault.value);
    }
    return reply;
}

SimReply SimBus::answerRequest(QByteArrayView requestText)
{
    // A pack answers only a frame it can read; a damaged request is met
    // with silence, as on the real line.
    frame::ParsedFrame request;
    if (!frame::ParseFrame(requestText, request))
        return {};

    QMutexLocker locker(&m_mutex);
    if (m_requests.size() >= std::size_t(kKeptRequests))
        m_requests.erase(m_requests.begin());
    m_requests.push_back(SimRequest{request.address, request.cid2, request.info, request.version, request.cid1});
    ++m_requestCounts[{request.address, request.cid2}];
    for (const ActiveFault& active : m_faults)
        if (active.fault.kind == SimFaultKind::Silent && active.fault.value == request.address)
            return {};
    const auto ours = m_packs.find(request.address);
    const auto foreign = m_foreignPacks.find(request.address);
    if (ours == m_packs.end() && foreign == m_foreignPacks.end())
        return {};

    SimPack* const pack = ours != m_packs.end() ? ours->second.get() : nullptr;
    SimPack::Answer answer;
    std::uint8_t version = frame::kVersion;
    std::uint8_t cid1 = frame::kCid1;
    const auto forcedRtn = std::find_if(m_faults.begin(), m_faults.end(), [&](const ActiveFault& active) {
        return active.fault.kind == SimFaultKind::Rtn && active.fault.cid2 == request.cid2
            && (active.fault.address == 0 || active.fault.address == request.address);
    });
    const auto answerAs = std::find_if(m_faults.begin(), m_faults.end(), [](const ActiveFault& active) {
        return active.fault.kind == SimFaultKind::AnswerAs;
    });
    if (foreign != m_foreignPacks.end()) {
        // Another maker's pack: its own VER and CID1, its own layouts, and
        // silence toward a CID1 it does not know.
        const std::optional<SimFamilyPack::Answer> own = foreign->second->handle(request);
        if (!own)
            return {};
        version = own->version;
        cid1 = own->cid1;
        answer = SimPack::Answer{own->rtn, own->infoText};
        if (forcedRtn != m_faults.end())
            answer = SimPack::Answer{forcedRtn->fault.code, {}};
    } else if (request.cid1 != frame::kCid1)
        answer.rtn = SimRtn::kUnknownCommand;
    else if (forcedRtn != m_faults.end())
        answer.rtn = forcedRtn->fault.code;
    else if (answerAs != m_faults.end() && AnswersWithResultOnly(answerAs->fault.cid2))
        answer = SimPack::Answer{};
    else if (answerAs != m_faults.end() && answerAs->fault.cid2 == kWriteFunctionSwitchesCid2)
        // The answer to setting the switches already in force: nothing changes.
        answer = pack->handle(kWriteFunctionSwitchesCid2,
                              QByteArray(1, char(request.address)) + char(pack->functionSwitches() >> 8)
                                  + char(pack->functionSwitches() & 0xFF));
    else if (answerAs != m_faults.end())
        answer = pack->handle(answerAs->fault.cid2, ReadRequestInfo(answerAs->fault.cid2, request.address));
    else
        answer = pack->handle(request.cid2, request.info);

    ++m_answerCount;
    std::uint8_t address = request.address;
    bool badSum = false;
    bool truncate = false;
    bool withNoise = false;
    bool glitch = false;
    bool stutter = false;
    bool garbage = false;
    SimReply reply;
    for (ActiveFault& active : m_faults) {
        const qint64 seen = ++active.answers;
        switch (active.fault.kind) {
        case SimFaultKind::WrongAddress:
            if (IsEveryNth(seen, active.fault.value))
                address = std::uint8_t(address % 16 + 1);
            break;
        case SimFaultKind::BadSum:
            badSum = badSum || IsEveryNth(seen, active.fault.value);
            break;
        case SimFaultKind::Truncate:
            truncate = truncate || IsEveryNth(seen, active.fault.value);
            break;
        case SimFaultKind::Noise:
            withNoise = true;
            break;
        case SimFaultKind::Cut:
            truncate = truncate || (active.fault.address == request.address && active.fault.cid2 == request.cid2);
            break;
        case SimFaultKind::Delay:
            reply.delay += std::chrono::milliseconds(active.fault.value);
            break;
        case SimFaultKind::SlowPack:
            if (active.fault.address == request.address)
                reply.delay += std::chrono::milliseconds(active.fault.value);
            break;
        case SimFaultKind::Glitch:
            glitch = true;
            break;
        case SimFaultKind::Stutter:
            stutter = true;
            break;
        case SimFaultKind::Garbage:
            garbage = true;
            break;
        case SimFaultKind::BadClock:
            // Year (four hex digits), then the month: a date no calendar has.
            if (request.cid2 == kReadDateTimeCid2 && answer.infoText.size() >= 6)
                answer.infoText.replace(4, 2, QByteArray::number(active.fault.value & 0xFF, 16).toUpper().rightJustified(2, '0'));
            break;
        case SimFaultKind::Silent:
        case SimFaultKind::Rtn:
        case SimFaultKind::Echo:
        case SimFaultKind::Chunks:
        case SimFaultKind::AnswerAs:
            break;
        case SimFaultKind::ShortLayout:
            // Older firmware of our packs only.
            if (pack && request.cid2 == active.fault.cid2 && answerAs == m_faults.end()
                && answer.rtn == SimRtn::kSuccess)
                CutLiveAnswer(answer.infoText, request.cid2, active.fault.value);
            break;
        }
    }

    reply.text = frame::BuildFrameText(address, cid1, answer.rtn, answer.infoText, version);
    if (badSum)
        SpoilChecksum(reply.text);
    if (truncate)
        reply.text.truncate(reply.text.size() / 2);
    if (stutter) {
        // A burst garbled the copy's CID1: a whole frame, but not an answer.
        reply.lead = reply.text;
        reply.lead[kCid1Digit] = reply.lead[kCid1Digit] == '0' ? '1' : '0';
    }
    if (glitch)
        reply.lead.prepend(noise(1));
    if (garbage)
        reply.text = noise(kGarbageLength);
    if (withNoise)
        reply.text.prepend(noise(1 + int(m_noiseRandom() % 8u)));
    return reply;
}

std::vector<SimRequest> SimBus::requests() const
{
    QMutexLocker locker(&m_mutex);
    return m_requests;
}

void SimBus::clearRequests()
{
    QMutexLocker locker(&m_mutex);
    m_requests.clear();
    m_requestCounts.clear();
}
