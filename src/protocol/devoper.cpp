#include "protocol/devoper.h"

#include "protocol/answer_length.h"

#include "protocol/frame.h"
#include "protocol/tcp_link.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QThread>
#include <QSerialPortInfo>

#include <algorithm>
#include <cstring>

namespace {

// Added to the extra window after an exchange without its answer, so that
// an answer that starts just as that window closes is still thrown away.
constexpr std::chrono::milliseconds kLateAnswerMargin{200};

} // namespace

TDevOper::TDevOper() = default;

TDevOper::~TDevOper()
{
    QMutexLocker locker(&m_linkLock);
    if (m_link)
        m_link->close();
}

// ---------------------------------------------------------------- codec

void TDevOper::BeginFrame(std::uint8_t address, std::uint8_t cid1, std::uint8_t cid2, std::uint8_t version)
{
    m_requestBytes.fill(0);
    m_requestCount = 0;
    m_minimumLength = frame::kMinimumLength;
    m_version = version;
    PutByte(static_cast<std::uint8_t>(frame::kStart));
    PutByte(m_version);
    PutByte(address);
    PutByte(cid1);
    PutByte(cid2);
}

void TDevOper::PutLength(int lenid)
{
    PutWord(frame::LengthField(lenid & 0x0FFF));
}

void TDevOper::PutByte(std::uint8_t value)
{
    if (m_requestCount < kRequestBytes)
        m_requestBytes[m_requestCount++] = value;
}

void TDevOper::PutWord(std::uint16_t value)
{
    PutByte(static_cast<std::uint8_t>(value >> 8));
    PutByte(static_cast<std::uint8_t>(value & 0xFF));
}

std::uint16_t TDevOper::FrameChecksum() const
{
    // The sum runs over the characters that travel between SOI and CHKSUM:
    // every byte after SOI as its two hex digits.
    std::uint32_t sum = 0;
    for (int i = 1; i < m_requestCount; ++i) {
        sum += static_cast<std::uint8_t>(frame::HexDigit(m_requestBytes[i] >> 4));
        sum += static_cast<std::uint8_t>(frame::HexDigit(m_requestBytes[i]));
    }
    return static_cast<std::uint16_t>((0x10000 - (sum % 0x10000)) % 0x10000);
}

void TDevOper::PutEnd()
{
    PutByte(static_cast<std::uint8_t>(frame::kEnd));
}

void TDevOper::EncodeRequest()
{
    m_requestText.fill(0);
    m_requestTextCount = 0;
    if (m_requestCount == 0)
        return;
    m_requestText[m_requestTextCount++] = static_cast<char>(m_requestBytes[0]);
    for (int i = 1; i <= m_requestCount - 2; ++i) {
        m_requestText[m_requestTextCount++] = frame::HexDigit(m_requestBytes[i] >> 4);
        m_requestText[m_requestTextCount++] = frame::HexDigit(m_requestBytes[i]);
    }
    if (m_requestCount > 1)
        m_requestText[m_requestTextCount++] = static_cast<char>(m_requestBytes[m_requestCount - 1]);
}

void TDevOper::DecodeAnswer()
{
    m_answerBytes.fill(0);
    m_answerCount = 0;
    const int n = m_answerTextCount;
    if (n == 0)
        return;
    m_answerBytes[m_answerCount++] = static_cast<std::uint8_t>(m_answerText[0]);
    // Leave room for the end character: the buffer holds 500 bytes whatever
    // the text announces.
    const int pairs = std::min((n - 2) / 2, kAnswerBytes - 2);
    for (int i = 1; i <= pairs; ++i) {
        m_answerBytes[m_answerCount++] = static_cast<std::uint8_t>(frame::HexValue(m_answerText[2 * i - 1]) * 16
                                                                   + frame::HexValue(m_answerText[2 * i]));
    }
    if (n != 1)
        m_answerBytes[m_answerCount++] = static_cast<std::uint8_t>(m_answerText[n - 1]);
}

int TDevOper::LengthChecksum(int lenid)
{
    return frame::LengthChecksum(lenid);
}

std::uint16_t TDevOper::AnswerChecksum(int first, int last) const
{
    first = std::max(first, 0);
    last = std::min(last, kTextCharacters);
    std::uint32_t sum = 0;
    for (int i = first; i < last; ++i)
        sum += static_cast<std::uint8_t>(m_answerText[i]);
    return static_cast<std::uint16_t>((0x10000 - (sum % 0x10000)) % 0x10000);
}

int TDevOper::FindChar(char c) const
{
    for (int i = 0; i < m_answerTextCount; ++i)
        if (m_answerText[i] == c)
            return i;
    return -1;
}

void TDevOper::DeleteChars(int start, int count)
{
    if (start < 0 || start >= m_answerTextCount || count <= 0)
        return;
    count = std::min(count, m_answerTextCount - start);
    std::memmove(m_answerText.data() + start, m_answerText.data() + start + count,
                 static_cast<std::size_t>(m_answerTextCount - start - count));
    m_answerTextCount -= count;
    // Vacated characters read as zero, so checks that look past the end of
    // a shortened text see nothing that was there before.
    std::fill(m_answerText.begin() + m_answerTextCount, m_answerText.begin() + m_answerTextCount + count, 0);
}

std::uint8_t TDevOper::CheckAnswer(std::uint8_t address)
{
    auto hexByte = [this](int index) {
        return frame::HexValue(m_answerText[index]) * 16 + frame::HexValue(m_answerText[index + 1]);
    };
    m_answerAccepted = false;
    m_checkReason = ResultCode::kSuccess;
    // The first fault the search met, for the traffic console: the result
    // reports the last one, after the search has eaten the damaged frame.
    const auto fault = [this](std::uint8_t code) {
        if (m_checkReason == ResultCode::kSuccess)
            m_checkReason = code;
        return code;
    };
    if (m_answerTextCount == 0)
        return fault(ResultCode::kNoAnswer);
    if (m_answerTextCount < m_minimumLength)
        return fault(ResultCode::kTooShort);

    std::uint8_t result = ResultCode::kSuccess;
    while (m_answerTextCount >= m_minimumLength) {
        const int start = FindChar(frame::kStart);
        if (start < 0) {
            result = fault(ResultCode::kNoStartCharacter);
            DeleteChars(0, 1);
            continue;
        }
        if (start > 0)
            DeleteChars(0, start);
        if (m_expectedCid1 != kAnyCid1
            && (m_answerText[5] != frame::HexDigit(m_expectedCid1 >> 4)
                || m_answerText[6] != frame::HexDigit(m_expectedCid1))) {
            result = fault(ResultCode::kBadFrame);
            DeleteChars(0, 1);
            continue;
        }
        if (m_answerText[3] != frame::HexDigit(address >> 4) || m_answerText[4] != frame::HexDigit(address))
            return fault(ResultCode::kWrongAddress);
        const int lenid = frame::HexValue(m_answerText[10]) * 256 + frame::HexValue(m_answerText[11]) * 16
            + frame::HexValue(m_answerText[12]);
        if (frame::HexValue(m_answerText[9]) != LengthChecksum(lenid))
            return fault(ResultCode::kBadLengthChecksum);
        const int frameLength = m_minimumLength + lenid;
        if (frameLength > m_answerTextCount) {
            result = fault(ResultCode::kIncomplete);
            DeleteChars(0, 1);
            continue;
        }
        if (m_answerText[frameLength - 1] != frame::kEnd) {
            result = fault(ResultCode::kBadFrame);
            DeleteChars(0, 1);
            continue;
        }
        if (m_answerTextCount > frameLength)
            DeleteChars(frameLength, m_answerTextCount - frameLength);
        const int sent = hexByte(frameLength - 5) * 256 + hexByte(frameLength - 3);
        if (sent == AnswerChecksum(1, frameLength - 5)) {
            m_answerAccepted = true;
            return static_cast<std::uint8_t>(hexByte(7));
        }
        result = fault(ResultCode::kBadChecksum);
        DeleteChars(0, 1);
    }
    return result;
}

QByteArray TDevOper::RequestBytes() const
{
    return QByteArray(reinterpret_cast<const char*>(m_requestBytes.data()), m_requestCount);
}

QByteArray TDevOper::RequestText() const
{
    return QByteArray(m_requestText.data(), m_requestTextCount);
}

QByteArray TDevOper::AnswerText() const
{
    return QByteArray(m_answerText.data(), m_answerTextCount);
}

void TDevOper::SetAnswerText(QByteArrayView text)
{
    m_answerText.fill(0);
    m_answerTextCount = static_cast<int>(std::min<qsizetype>(text.size(), kTextCharacters));
    // An empty view may carry no data pointer at all, which memcpy must not see.
    if (m_answerTextCount > 0)
        std::memcpy(m_answerText.data(), text.data(), static_cast<std::size_t>(m_answerTextCount));
}

QByteArray TDevOper::AnswerBytes() const
{
    return QByteArray(reinterpret_cast<const char*>(m_answerBytes.data()), m_answerCount);
}

AnswerView TDevOper::Answer() const
{
    return AnswerView(m_answerBytes.data(), m_answerCount, QByteArrayView(m_answerText.data(), m_answerTextCount));
}

// ---------------------------------------------------------------- serial link

void TDevOper::AssignPort(std::uint8_t portNumber, const RPortDevice& device)
{
    QMutexLocker locker(&m_linkLock);
    // Another device is another bus: what was found on the last one says
    // nothing of the packs on this one.
    if (m_assignedPort && m_assignedPort->device.link.device != device.link.device)
        ForgetFoundFamilies();
    m_assignedPort = AssignedPort{portNumber, device};
}

bool TDevOper::OpenLink(const LinkSettings& settings, std::uint8_t portNumber, const QString& origin)
{
    AssignPort(portNumber, RPortDevice{settings, origin, {}});
    InitSerial(portNumber);
    return OpenSerial(portNumber);
}

std::uint8_t TDevOper::AssignedPortNumber() const
{
    QMutexLocker locker(&m_linkLock);
    return m_assignedPort ? m_assignedPort->portNumber : m_portNumber;
}

RPortDevice TDevOper::AssignedDevice(std::uint8_t portNumber) const
{
    QMutexLocker locker(&m_linkLock);
    if (m_assignedPort && m_assignedPort->portNumber == portNumber) {
        RPortDevice port = m_assignedPort->device;
        if (port.link.device.isEmpty() && port.error.isEmpty())
            port.error = QStringLiteral("No device given");
        return port;
    }
    RPortDevice none;
    none.error = QStringLiteral("No device given for COM%1").arg(portNumber);
    return none;
}

QString TDevOper::PortDevice(std::uint8_t portNumber) const
{
    return AssignedDevice(portNumber).link.device;
}

void TDevOper::InitSerial(std::uint8_t portNumber)
{
    const RPortDevice port = AssignedDevice(portNumber);
    QMutexLocker locker(&m_linkLock);
    if (m_link)
        m_link->close();
    m_link.reset();
    m_portNumber = portNumber;
    m_port = port;
    m_lastOpenError.clear();
    // A device that came with an error is not even made: OpenSerial reports
    // the error instead of opening it.
    if (port.error.isEmpty())
        m_link = LinkRegistry::Create(port.link);
}

bool TDevOper::OpenSerial(std::uint8_t portNumber)
{
    bool needsInit = false;
    {
        QMutexLocker locker(&m_linkLock);
        needsInit = !m_link || m_portNumber != portNumber;
    }
    if (needsInit)
        InitSerial(portNumber);
    QMutexLocker locker(&m_linkLock);
    // A device that came with an error (a port map entry that names
    // nothing, say) is reported as such rather than opening another one.
    if (!m_port.error.isEmpty()) {
        m_lastOpenError = m_port.error;
        return false;
    }
    QString error;
    const bool opened = m_link->open(&error);
    // The message names what the user gave: the port map's line when the
    // device came from there, else the device itself.
    if (!opened)
        error = QStringLiteral("%1: %2").arg(m_port.origin.isEmpty() ? m_port.link.device : m_port.origin, error);
    m_lastOpenError = error;
    m_freshLine = opened;
    return opened;
}

void TDevOper::CloseSerial(std::uint8_t portNumber)
{
    QMutexLocker locker(&m_linkLock);
    if (m_link && m_portNumber == portNumber)
        m_link->close();
}

bool TDevOper::IsSerialOpen(std::uint8_t portNumber) const
{
    QMutexLocker locker(&m_linkLock);
    return m_link && m_portNumber == portNumber && m_link->isOpen();
}

bool TDevOper::IsLinkOpen() const
{
    QMutexLocker locker(&m_linkLock);
    return m_link && m_link->isOpen();
}

bool TDevOper::PortCanVanish(std::uint8_t portNumber) const
{
    const QString device = PortDevice(portNumber);
    return !device.isEmpty() && !IsTcpDevice(device) && !LinkRegistry::IsRegistered(device);
}

QString TDevOper::LastOpenError() const
{
    QMutexLocker locker(&m_linkLock);
    return m_lastOpenError;
}

std::vector<std::uint8_t> TDevOper::SystemPortNumbers() const
{
#ifdef Q_OS_WIN
    QStringList names;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        names << info.portName();
    return ComPortNumbers(names);
#else
    // The system names its ports by device path; the n-th device present
    // is listed as COMn, as the settings number them when no port map
    // names the port.
    const qsizetype present = std::min<qsizetype>(AvailableSerialDevices().size(), kMaxPortNumber);
    std::vector<std::uint8_t> numbers;
    for (int port = 1; port <= present; ++port)
        numbers.push_back(std::uint8_t(port));
    return numbers;
#endif
}

void TDevOper::FillPortList(IComboList& combo, std::uint8_t selectedPort, bool allPorts) const
{
    combo.clearItems();
    if (allPorts) {
        for (int port = 1; port <= kMaxPortNumber; ++port)
            combo.addItem(QStringLiteral("COM%1").arg(port), QString::number(port));
    } else {
        for (std::uint8_t port : SystemPortNumbers())
            combo.addItem(QStringLiteral("COM%1").arg(port), QString::number(port));
    }
    if (combo.itemCount() > 0) {
        combo.selectIndex(0);
        combo.selectValue(QString::number(selectedPort));
    }
}

bool TDevOper::HoldsAnswer(QByteArrayView text, std::uint8_t address, std::uint8_t cid1)
{
    if (frame::CompleteFrameEnd(text) < 0)
        return false;
    // A codec of its own runs the check exactly as CheckAnswer does, without
    // touching the buffers of the exchange under way (the serial port's
    // thread asks while the caller waits).
    TDevOper probe;
    probe.m_expectedCid1 = cid1;
    probe.SetAnswerText(text);
    probe.CheckAnswer(address);
    return probe.m_answerAccepted;
}

void TDevOper::HearOutLateAnswer()
{
    QMutexLocker locker(&m_linkLock);
    if (m_link && m_lateAnswerGuard.has_value() && !m_lateAnswerGuard->hasExpired()) {
        QThread* caller = QThread::currentThread();
        m_link->discardLate(std::chrono::milliseconds(m_lateAnswerGuard->remainingTime()),
                            [caller] { return caller->isInterruptionRequested(); });
    }
    m_lateAnswerGuard.reset();
}

QByteArray TDevOper::Listen(std::chrono::milliseconds upTo, const std::function<bool()>& giveUp)
{
    QMutexLocker locker(&m_linkLock);
    if (!m_link || !m_link->isOpen())
        return {};
    const QByteArray heard = m_link->listen(upTo, giveUp);
    m_charactersReceived += heard.size();
    return heard;
}

qsizetype TDevOper::EchoLength(QByteArrayView received, QByteArrayView request)
{
    return !request.isEmpty() && received.startsWith(request) ? request.size() : 0;
}

void TDevOper::Transact(std::uint8_t address, int waitMs)
{
    EncodeRequest();
    if (m_requestTextCount == 0)
        return;
    m_answerText.fill(0);
    m_answerTextCount = 0;
    m_exchange = RTrafficRecord{};
    if (!m_link)
        return;
    // Answers carry no command code: an answer that comes after its window
    // would pass for the answer to this request. After an exchange that got
    // none, hear out the rest of one more window before anything is sent.
    // A thread asked to stop (the polling thread when the window closes)
    // waits out neither that nor its own reply window, and sends nothing.
    QThread* caller = QThread::currentThread();
    const auto stopAsked = [caller] { return caller->isInterruptionRequested(); };
    if (m_lateAnswerGuard.has_value() && !m_lateAnswerGuard->hasExpired()) {
        m_link->discardLate(std::chrono::milliseconds(m_lateAnswerGuard->remainingTime()), stopAsked);
        if (stopAsked())
            return;
    }
    m_lateAnswerGuard.reset();

    const QByteArray request(m_requestText.data(), m_requestTextCount);
    const std::chrono::milliseconds window(ReplyWindowMs(address, waitMs));
    // A line just opened may still carry the answer to a request of some
    // other program (a run of bmstool that gave up on it): let it finish
    // before this request goes out, at most one reply window.
    if (m_freshLine) {
        m_freshLine = false;
        m_link->awaitQuiet(window);
    }
    m_exchange.sentMs = QDateTime::currentMSecsSinceEpoch();
    QElapsedTimer elapsed;
    elapsed.start();
    // The read ends early only on an answer that passes the check: after
    // noise or a damaged frame it goes on, and the search finds what follows.
    // A half-duplex adapter that hears its own transmission hands the
    // request back first: that copy is no answer, whatever it would check as.
    const QByteArray received = m_link->exchangeUntil(
        request, window, kTextCharacters + m_requestTextCount,
        [address, cid1 = m_expectedCid1, &request](QByteArrayView text) {
            return HoldsAnswer(text.sliced(EchoLength(text, request)), address, cid1);
        },
        stopAsked);
    const qsizetype echo = EchoLength(received, request);
    const QByteArray answer = received.sliced(echo);
    m_exchange.elapsedMs = elapsed.elapsed();
    m_exchange.answeredMs = QDateTime::currentMSecsSinceEpoch();
    m_exchange.address = address;
    m_exchange.cid2 = m_requestCount > 4 ? m_requestBytes[4] : 0;
    m_exchange.request = request;
    m_exchange.echo = received.first(echo);
    m_exchange.answer = answer;
    m_exchangeSent = true;
    m_charactersSent += request.size();
    // The echo is the request heard back: it took no time of its own on the line.
    m_charactersReceived += answer.size();
    const qsizetype count = answer.size() > 10000 ? 0 : answer.size();
    SetAnswerText(QByteArrayView(answer.constData(), count));
    if (!HoldsAnswer(AnswerText(), address, m_expectedCid1))
        m_lateAnswerGuard = QDeadlineTimer(window + kLateAnswerMargin);
}

// ---------------------------------------------------------------- commands

std::uint8_t TDevOper::Execute(std::uint8_t address, std::uint8_t cid2, QByteArrayView info, int waitMs,
                               const Decoder& decode, bool examineAnswer, const QString& givenValues)
{
    RExchangeForm form;
    form.examineAnswer = examineAnswer;
    form.givenValues = givenValues;
    return GuardedExchange(form, address, cid2, info, waitMs, decode);
}

std::uint8_t TDevOper::RunExchange(const RExchangeForm& form, std::uint8_t address, std::uint8_t cid2,
                                   QByteArrayView info, int waitMs, const Decoder& decode)
{
    QMutexLocker locker(&m_linkLock);
    // The guard ran before the lock was taken (its probes need the lock
    // themselves): what another thread filed since then counts too.
    if (form.guarded) {
        if (const std::optional<std::uint8_t> refusal = StateRefusal(FamilyState(address), cid2))
            return *refusal;
    }
    // SOI, VER, ADR, CID1, CID2, LENGTH, CHKSUM and EOI take 10 of the 500 bytes.
    if (info.size() > kRequestBytes - 10)
        return ResultCode::kBadFrame;
    BeginFrame(address, form.cid1, cid2, form.version);
    PutLength(static_cast<int>(info.size() * 2));
    for (char b : info)
        PutByte(static_cast<std::uint8_t>(b));
    PutWord(FrameChecksum());
    PutEnd();
    m_expectedCid1 = form.anyCid1 ? kAnyCid1 : form.cid1;
    m_exchangeSent = false;
    Transact(address, waitMs);
    std::uint8_t result = ResultCode::kSuccess;
    bool packRtn = false;
    if (form.examineAnswer) {
        result = CheckAnswer(address);
        packRtn = m_answerAccepted && result != ResultCode::kSuccess;
        if (m_answerAccepted && form.inspect) {
            DecodeAnswer();
            form.inspect(Answer());
        }
        if (result == ResultCode::kSuccess) {
            DecodeAnswer();
            // A sound frame whose length no answer to this command can have
            // is another command's answer (a late one, say): never decoded.
            if (form.checkLength && !AnswerFitsCommand(cid2, Answer(), info)) {
                result = ResultCode::kInvalidData;
                m_exchange.foreignAnswer = true;
            } else if (decode) {
                result = decode(Answer());
            }
        }
    }
    if (m_exchangeSent) {
        m_exchange.result = result;
        m_exchange.examined = form.examineAnswer;
        m_exchange.packRtn = packRtn;
        m_exchange.givenValues = form.givenValues;
        m_exchange.reason =
            form.examineAnswer && result != ResultCode::kSuccess && !packRtn && !m_exchange.foreignAnswer && m_checkReason != 0
            ? m_checkReason
            : result;
        m_traffic.Add(std::move(m_exchange));
        m_exchangeSent = false;
    }
    return result;
}

std::uint8_t TDevOper::Execute(std::uint8_t address, CommandId command, QByteArrayView info, const Decoder& decode,
                               bool examineAnswer, const QString& givenValues)
{
    const CommandInfo& row = CommandOf(command);
    return Execute(address, row.cid2, info, row.waitMs, decode, examineAnswer, givenValues);
}
