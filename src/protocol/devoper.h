#pragma once

#include "protocol/answer_view.h"
#include "protocol/combo_list.h"
#include "protocol/command_catalogue.h"
#include "protocol/family_decoders.h"
#include "protocol/link.h"
#include "protocol/records.h"
#include "protocol/result_codes.h"
#include "protocol/traffic_log.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QMutex>
#include <QString>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// What this run knows of the family of the pack at one address.
struct RPackFamilyState {
    enum class Problem : std::uint8_t {
        None,
        NoFit,          // an answer came that fits no family (misfit says what it had)
        TwoFamilies,    // two families answered at this address: a misconfigured bus
        PinnedMisfit,   // the pinned family's answer did not fit it: the pack is not read
    };
    PackFamily family = PackFamily::Unknown;
    bool pinned = false;                     // set by the user, not found
    Problem problem = Problem::None;
    // NoFit, PinnedMisfit: the answer's VER, CID1, P. TwoFamilies: the fit
    // of the first family that answered (misfit.family names it).
    RFamilyFit misfit;
    PackFamily second = PackFamily::Unknown; // TwoFamilies: the other family
    friend bool operator==(const RPackFamilyState&, const RPackFamilyState&) = default;
};

// The protocol object: the frame codec, the serial link and every pack
// command. One exchange at a time: each command holds the link lock from
// building its request to reading its answer, whichever thread calls it.
class TDevOper {
public:
    static constexpr int kRequestBytes = 500;
    static constexpr int kTextCharacters = 1000;
    static constexpr int kAnswerBytes = AnswerView::kBufferSize;

    TDevOper();
    ~TDevOper();
    TDevOper(const TDevOper&) = delete;
    TDevOper& operator=(const TDevOper&) = delete;

    // ---- Frame codec. Called under the link lock by the commands; tests
    // drive them directly on an object of their own.
    void BeginFrame(std::uint8_t address, std::uint8_t cid1, std::uint8_t cid2,
                    std::uint8_t version = 0x21);
    void PutLength(int lenid);
    void PutByte(std::uint8_t value);
    void PutWord(std::uint16_t value);
    std::uint16_t FrameChecksum() const;
    void PutEnd();
    void EncodeRequest();
    void DecodeAnswer();
    static int LengthChecksum(int lenid);
    std::uint16_t AnswerChecksum(int first, int last) const;
    int FindChar(char c) const;
    void DeleteChars(int start, int count);
    // Checks the answer text against address and the CID1 the exchange
    // expects (0x46 unless the exchange is in a family of another CID1).
    std::uint8_t CheckAnswer(std::uint8_t address);

    static std::int16_t ToSigned16(std::uint16_t value) { return static_cast<std::int16_t>(value); }
    static std::int32_t ToSigned32(std::uint32_t value) { return static_cast<std::int32_t>(value); }
    static std::uint8_t GetBit(std::uint8_t value, int bit) { return (value >> bit) & 1; }
    static bool IsSet(std::uint8_t value) { return value != 0; }

    QByteArray RequestBytes() const;
    QByteArray RequestText() const;
    QByteArray AnswerText() const;
    void SetAnswerText(QByteArrayView text);   // at most 1000 characters are kept
    QByteArray AnswerBytes() const;
    AnswerView Answer() const;

    // ---- Serial link. The link opens what it is given: the front ends find
    // the device for a port number (the settings layer reads the port map)
    // and assign it here.
    // From now on the port number opens the given device (with its baud
    // rate and RS485 mode); any other port number opens nothing. Open
    // errors start with device.origin, or with the device itself when
    // origin is empty; a device that carries an error is not opened and
    // that error is the open error.
    void AssignPort(std::uint8_t portNumber, const RPortDevice& device);
    // Opens a device directly: AssignPort, InitSerial and OpenSerial under
    // that port number. True when the link is open; LastOpenError says why
    // not. Reopening the port number (the poller's reconnect) reopens the
    // same device.
    bool OpenLink(const LinkSettings& settings, std::uint8_t portNumber = 1, const QString& origin = {});
    // The port number last assigned (1 before any).
    std::uint8_t AssignedPortNumber() const;
    // The device the port number opens; empty when there is none.
    QString PortDevice(std::uint8_t portNumber) const;
    void InitSerial(std::uint8_t portNumber);
    bool OpenSerial(std::uint8_t portNumber);
    void CloseSerial(std::uint8_t portNumber);
    bool IsSerialOpen(std::uint8_t portNumber) const;
    // True while a link, whatever its port number, is open: false once the
    // port was closed or went away.
    bool IsLinkOpen() const;
    // True when the port is a serial device, which goes away with its
    // adapter; false for a TCP gateway (a lost connection is reopened like
    // a silent pack's port) and for links registered by name.
    bool PortCanVanish(std::uint8_t portNumber) const;
    // Why the last InitSerial/OpenSerial failed; the caller decides whether
    // and how to show it.
    QString LastOpenError() const;
    // Fills a port list: with allPorts COM1 to COM16; otherwise the serial
    // ports the system reports (on Windows under their own COM numbers,
    // elsewhere the n-th device present as COMn).
    void FillPortList(IComboList& combo, std::uint8_t selectedPort, bool allPorts) const;
    // One exchange of the request built so far: window = wait + 200 ms for
    // address 0, wait + 500 ms otherwise. The read ends early only on an
    // answer that passes the check. After an exchange without one, what
    // arrives during one more window is thrown away before this request
    // goes out; so is what a freshly opened line still carries. An exact
    // copy of the request at the start of what arrives is the adapter's
    // echo: it is skipped (and kept apart in the traffic record). Call with
    // the link lock held.
    void Transact(std::uint8_t address, int waitMs);
    // True when text holds a frame from address that CheckAnswer accepts
    // (whatever its RTN): the answer a read waits for.
    static bool HoldsAnswer(QByteArrayView text, std::uint8_t address, std::uint8_t cid1 = 0x46);
    // The length of the echo of request at the start of received: the
    // request's length when received starts with an exact copy of the
    // whole request, else 0.
    static qsizetype EchoLength(QByteArrayView received, QByteArrayView request);
    // For a program about to close the line for good: when the last
    // exchange went without its answer, what arrives until one more window
    // has passed (or a frame has come) is read and thrown away, so that the
    // next program to open the line does not inherit that answer. Returns
    // at once otherwise.
    void HearOutLateAnswer();
    // Listening to a bus another master polls: what the link has received,
    // as soon as anything has, or empty after upTo or once giveUp() says
    // so. Nothing is sent, nothing is thrown away. Takes the link lock only
    // for this read, against this program's own use of the link.
    QByteArray Listen(std::chrono::milliseconds upTo, const std::function<bool()>& giveUp);
    // Effective reply window for a command's wait time.
    static int ReplyWindowMs(std::uint8_t address, int waitMs) { return waitMs + (address == 0 ? 200 : 500); }

    // ---- Running a command.
    // Passes the family guard (see "Pack families" below: it may refuse
    // without sending, or confirm the pack's family by reads first), builds
    // the request (address, CID1 0x46, cid2, INFO), runs one exchange and
    // checks the answer. On success it unpacks the answer and returns
    // decode's result (no decoder: RTN). With examineAnswer false the
    // answer is neither checked nor unpacked and the result is 0.
    // givenValues goes into the traffic record (see RTrafficRecord).
    using Decoder = std::function<std::uint8_t(const AnswerView&)>;
    std::uint8_t Execute(std::uint8_t address, std::uint8_t cid2, QByteArrayView info, int waitMs,
                         const Decoder& decode = {}, bool examineAnswer = true, const QString& givenValues = {});
    std::uint8_t Execute(std::uint8_t address, CommandId command, QByteArrayView info,
                         const Decoder& decode = {}, bool examineAnswer = true, const QString& givenValues = {});

    // ---- The pack commands (codes and waits in the command catalogue).
    std::uint8_t ReadAnalogData(std::uint8_t address, std::uint8_t packNumber, std::uint8_t& echoedPack,
                                std::array<RAnalogData, kMaxPacks>& records);
    std::uint8_t ReadAlarmData(std::uint8_t address, std::uint8_t packNumber,
                               std::array<RAlarmData, kMaxPacks>& records);
    std::uint8_t ReadDateTime(std::uint8_t address, RDeviceTime& time);
    std::uint8_t WriteDateTime(std::uint8_t address, const RDeviceTime& time);
    std::uint8_t ReadDeviceInfo(std::uint8_t address, std::uint16_t& softwareVersion, QString& deviceName,
                                QString& manufacturer, std::uint16_t& number1, std::uint8_t& number2);
    // The bus scan's question to one address: its bar code (asking for pack
    // number address; echoedPack is the number the answer starts with), then
    // its device information, each exchange with a reply window of windowMs.
    // Stops at the first that fails.
    std::uint8_t ReadIdentity(std::uint8_t address, int windowMs, QString& barCode, std::uint8_t& echoedPack,
                              std::uint16_t& softwareVersion);
    std::uint8_t ReadPackQuantity(std::uint8_t address, std::uint8_t& packs);
    std::uint8_t WritePackQuantity(std::uint8_t address, std::uint8_t packs);
    std::uint8_t WriteRecordTime(std::uint8_t address, std::uint8_t packNumber, std::uint8_t startHour,
                                 std::uint8_t startMinute, std::uint8_t endHour, std::uint8_t endMinute,
                                 std::uint16_t intervalSeconds);
    std::uint8_t WriteFunctionSwitches(std::uint8_t address, std::uint8_t packNumber, std::uint16_t switches,
                                       std::uint16_t& switchesInForce);
    std::uint8_t DeleteAlarmRecords(std::uint8_t address, std::uint8_t packNumber);
    std::uint8_t DeleteWorkData(std::uint8_t address, std::uint8_t packNumber);
    std::uint8_t ReadCapacity(std::uint8_t address, std::uint8_t packNumber, std::int32_t& designMah,
                              std::int32_t& fullMah, std::int32_t& remainingMah);
    std::uint8_t WriteCapacity(std::uint8_t address, std::uint8_t packNumber, std::int32_t designMah,
                               std::int32_t fullMah, std::int32_t remainingMah);
    std::uint8_t WriteCycleTime(std::uint8_t address, std::uint8_t packNumber, std::uint16_t cycles);
    std::uint8_t ReadBarCode(std::uint8_t address, std::uint8_t packNumber, QString& barCode);
    std::uint8_t WriteBarCode(std::uint8_t address, std::uint8_t packNumber, const QString& barCode);
    std::uint8_t ReadDischargeAccumulating(std::uint8_t address, std::uint8_t packNumber, Decimal& capacityAh,
                                           Decimal& energyKwh);
    std::uint8_t WriteDischargeAccumulating(std::uint8_t address, std::uint8_t packNumber, Decimal capacityAh,
                                            Decimal energyKwh);
    std::uint8_t ReadCalibration(std::uint8_t address, std::uint8_t packNumber, std::uint8_t kind,
                                 std::uint8_t item, Decimal& first, Decimal& second);
    std::uint8_t WriteCalibration(std::uint8_t address, std::uint8_t packNumber, std::uint8_t kind,
                                  std::uint8_t item, bool reset, Decimal first, Decimal second);
    std::uint8_t EnterSleep(std::uint8_t address, std::uint8_t packNumber);
    std::uint8_t ReadProductInfo(std::uint8_t address, std::uint8_t packNumber, RProductInfo& info);
    std::uint8_t WriteProductInfo(std::uint8_t address, std::uint8_t packNumber, const RProductInfo& info);
    std::uint8_t ReadLocationInfo(std::uint8_t address, std::uint8_t packNumber,
                                  std::array<RLocationData, kMaxPacks>& records);
    std::uint8_t AccessBatteryShield(std::uint8_t address, std::uint8_t packNumber, bool write,
                                     std::uint32_t& shieldMask);
    // ReadParameters/WriteParameters live with the parameter block, and the
    // two record reads with the history records; both run through Execute.

    // ---- Pack families. One guard keeps every other maker's pack safe:
    // to a pack not confirmed as ours only its family's reads
    // (FamilyReads) are ever sent. Execute refuses, without sending,
    //  - anything to a pack of another family (found or pinned):
    //    ResultCode::kForeignFamily;
    //  - a command that is not a read on every family to an address whose
    //    family is not known: it first confirms the family by reads alone
    //    (our 0x42, then DetectFamily when that does not fit ours) and
    //    refuses with kForeignFamily, kFamilyUnknown (something answered
    //    that fits no family, or two families) or the probe's own result
    //    (kNoAnswer for a silent address) unless it is ours;
    //  - anything to a pinned pack whose answers did not fit its family:
    //    kFamilyMismatch.
    // A 0x42 in our form answered with VER 0x21 in our layout confirms ours;
    // a pinned ours is trusted without probing until a 0x42 answer does not
    // fit (then PinnedMisfit). A found family whose 0x42 answer no longer
    // fits it is forgotten (back to Unknown). What is found is kept while
    // this object lives (a port of another device forgets it; pins stay).
    //
    // Lock order: the link lock, then the family lock. The family lock is
    // only ever held to copy a state in or out, never across an exchange,
    // and the link lock is never taken while it is held.
    RPackFamilyState FamilyState(std::uint8_t address) const;
    // A family the user names for an address (BMS.ini, --family): never
    // probed. Unknown removes the pin.
    void PinFamily(std::uint8_t address, PackFamily family);
    // Files what an answer showed.
    void SetFamilyState(std::uint8_t address, const RPackFamilyState& state);
    void SetFamilySettings(const RFamilySettings& settings);
    RFamilySettings FamilySettings() const;
    // Asks the pack at address in every family's 0x42 request form (A and B
    // share one), each with a reply window of windowMs, and files what the
    // answers show: one family fits, that family; none, Unknown (NoFit with
    // the first misfit when something answered); two, Unknown with
    // TwoFamilies. A pinned address is not asked: its state is returned.
    // Reads only. Takes the link lock for each exchange, not in between.
    RPackFamilyState DetectFamily(std::uint8_t address, int windowMs);
    // One read in a family's own request form (VER, CID1, INFO as given);
    // the answer is checked against the family's CID1, and the length rule
    // of our commands is not applied. A cid2 the family does not read gives
    // kForeignFamily, nothing sent. For ours, a command that is not a read
    // on every family goes through Execute and its guard.
    std::uint8_t ExecuteInFamily(PackFamily family, std::uint8_t address, std::uint8_t cid2, QByteArrayView info,
                                 int waitMs, const Decoder& decode = {});
    // The identity reads of the family of the pack at address (which must be
    // known: kFamilyUnknown otherwise), each in its form, in order. Stops at
    // the first that fails and returns its result; identity keeps what the
    // reads before it gave.
    std::uint8_t ReadFamilyIdentity(std::uint8_t address, RFamilyIdentity& identity);

    // The last exchanges Execute ran, for the traffic console.
    TTrafficLog& Traffic() { return m_traffic; }

    // Characters sent and received since construction (for the benchmark).
    qint64 CharactersSent() const { return m_charactersSent; }
    qint64 CharactersReceived() const { return m_charactersReceived; }

private:
    // How one exchange is framed and checked.
    struct RExchangeForm {
        std::uint8_t version = 0x21;
        std::uint8_t cid1 = 0x46;
        bool examineAnswer = true;
        bool checkLength = true;   // our commands' answer-length rule
        bool guarded = false;      // the family guard looks again under the link lock
        // A probe takes an answer of any CID1: a pack of another CID1 that
        // answers (with an error) ends the wait instead of costing a window.
        bool anyCid1 = false;
        QString givenValues;
        // Sees every sound answer (any RTN), before the length rule and the
        // decoder; runs under the link lock.
        std::function<void(const AnswerView&)> inspect;
    };
    // What one 0x42 probe showed.
    struct RProbe {
        std::uint8_t result = 0;
        bool answered = false;                  // a sound frame came
        PackFamily family = PackFamily::Unknown;
        RFamilyFit fit;
    };
    // One exchange under the link lock, without the family guard.
    std::uint8_t RunExchange(const RExchangeForm& form, std::uint8_t address, std::uint8_t cid2, QByteArrayView info,
                             int waitMs, const Decoder& decode);
    // The family guard: nothing when the command may go to address, else
    // the refusal. May confirm the family by reads first.
    std::optional<std::uint8_t> FamilyRefusal(std::uint8_t address, std::uint8_t cid2);
    // Execute's path with the guard, for a form with an inspector.
    std::uint8_t GuardedExchange(const RExchangeForm& form, std::uint8_t address, std::uint8_t cid2,
                                 QByteArrayView info, int waitMs, const Decoder& decode);
    RProbe ProbeAnalog(PackFamily form, std::uint8_t address, int waitMs);
    // DetectFamily after what the probe in our form (when given) showed.
    RPackFamilyState DetectAfter(std::uint8_t address, int windowMs, const std::optional<RProbe>& ours);
    // The family guard's verdict on a state alone, without asking the pack:
    // kFamilyUnknown for a command that is not a read on every family to an
    // address whose family is not known.
    static std::optional<std::uint8_t> StateRefusal(const RPackFamilyState& state, std::uint8_t cid2);
    // Whether a sound 0x42 answer is evidence of a pack of another family
    // than expected: another VER, or the layout of another family. (A
    // late answer of another read is not.)
    static bool ShowsAnotherFamily(const AnswerView& answer, PackFamily expected);
    // A sound 0x42 answer in our layout with VER 0x21.
    static bool IsOurAnalogAnswer(const AnswerView& answer);
    // A port of another device: the found states go, the pins stay.
    void ForgetFoundFamilies();
    // Files a found state unless the address was pinned meanwhile.
    void FileFound(std::uint8_t address, const RPackFamilyState& state);
    // What a sound 0x42 answer showed of the family in force at address:
    // a fit confirms it (Unknown answered in our layout: ours); an answer
    // of another family forgets a found family and marks a pinned one.
    // Returns the state.
    // asked: the family in force when the read went out; fitted: the family
    // the answer fits (Unknown: none).
    RPackFamilyState NoteAnalogAnswer(std::uint8_t address, PackFamily asked, PackFamily fitted,
                                      const RFamilyFit& fit);
    std::uint8_t ReadForeignAnalog(PackFamily family, std::uint8_t address, std::uint8_t packNumber,
                                   std::uint8_t& echoedPack, std::array<RAnalogData, kMaxPacks>& records);
    std::uint8_t ReadForeignAlarm(PackFamily family, std::uint8_t address, std::uint8_t packNumber,
                                  std::array<RAlarmData, kMaxPacks>& records);

    // What the port number opens: the assigned device, or an error.
    RPortDevice AssignedDevice(std::uint8_t portNumber) const;
    // The port numbers of the serial ports the system reports, in its order.
    std::vector<std::uint8_t> SystemPortNumbers() const;

    mutable QMutex m_linkLock;

    std::array<std::uint8_t, kRequestBytes> m_requestBytes{};
    int m_requestCount = 0;
    std::array<char, kTextCharacters> m_requestText{};
    int m_requestTextCount = 0;
    std::array<char, kTextCharacters> m_answerText{};
    int m_answerTextCount = 0;
    std::array<std::uint8_t, kAnswerBytes> m_answerBytes{};
    int m_answerCount = 0;
    int m_minimumLength = 18;
    bool m_answerAccepted = false;   // the last CheckAnswer returned a good frame's RTN
    std::uint8_t m_checkReason = 0;  // the first fault the last CheckAnswer met (0: none)
    std::uint8_t m_version = 0x21;
    // CheckAnswer's CID1 for the exchange under way; kAnyCid1 takes any.
    static constexpr std::uint8_t kAnyCid1 = 0x00;
    std::uint8_t m_expectedCid1 = 0x46;

    std::unique_ptr<ILink> m_link;
    std::uint8_t m_portNumber = 1;
    struct AssignedPort {
        std::uint8_t portNumber = 0;
        RPortDevice device;
    };
    std::optional<AssignedPort> m_assignedPort;
    QString m_lastOpenError;
    // Set when the link has opened: the first request waits for a quiet line.
    bool m_freshLine = false;
    // Set when an exchange ended without its answer: until it expires, what
    // arrives is thrown away before the next request goes out.
    std::optional<QDeadlineTimer> m_lateAnswerGuard;
    RPortDevice m_port;   // what InitSerial took for m_portNumber

    // The exchange under way, recorded once its result is known.
    RTrafficRecord m_exchange;
    bool m_exchangeSent = false;
    TTrafficLog m_traffic;

    // What is known of each address's family; its own lock, so that a
    // window asking never waits for an exchange.
    mutable QMutex m_familyLock;
    std::array<RPackFamilyState, 256> m_families{};
    RFamilySettings m_familySettings;

    std::atomic<qint64> m_charactersSent{0};
    std::atomic<qint64> m_charactersReceived{0};
};
