// libFuzzer target: whatever a pack (or line noise) sends must be checked,
// unpacked and decoded without leaving the host's buffers.
//
// Input layout: byte 0 picks the command that receives the answer, byte 1
// the pack number (and address), the rest is the received text.

#include "fuzz_input.h"
#include "protocol/decoders.h"
#include "protocol/devoper.h"
#include "protocol/family_decoders.h"
#include "protocol/status_bits.h"
#include "protocol/wire_text.h"

#ifdef BMS_FUZZ_PARAMS
#include "params/parameter_block.h"
#include "params/parameter_commands.h"
#endif
#ifdef BMS_FUZZ_HISTORY
#include "history/history_record.h"
#endif


#include <array>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

const QString kDevice = QStringLiteral("fuzz-answer");
QByteArray g_answer;

// Hands every request the current fuzz input as its answer.
class FuzzLink : public ILink {
public:
    bool open(QString*) override { return m_open = true; }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    QByteArray exchange(const QByteArray&, std::chrono::milliseconds, int maxCharacters) override
    {
        return g_answer.left(maxCharacters);
    }

private:
    bool m_open = false;
};

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

TDevOper& LinkedOper()
{
    static TDevOper* op = [] {
        LinkRegistry::Register(kDevice, [](const LinkSettings&) { return std::make_unique<FuzzLink>(); });
        auto* oper = new TDevOper;
        Require(oper->OpenLink(LinkSettings{kDevice}, 1));
        return oper;
    }();
    return *op;
}

// The live decoders read nothing but the INFO part: changing the bytes
// after it (checksum, end character) changes no result and no value.
void RequireInfoPartOnly(const AnswerView& answer, std::uint8_t pack, std::uint8_t analogResult,
                         const RAnalogData& analog, const RAlarmData& alarm)
{
    std::array<std::uint8_t, AnswerView::kBufferSize> bytes{};
    for (int i = 0; i < answer.count() && i < AnswerView::kBufferSize; ++i)
        bytes[std::size_t(i)] = i < 7 + answer.infoCount() ? answer.byte(i) : 0xA5;
    const AnswerView altered(bytes.data(), answer.count(), answer.text());
    RAnalogData otherAnalog;
    Require(DecodeAnalogData(altered, pack, QDateTime(), otherAnalog) == analogResult && otherAnalog == analog);
    RAlarmData otherAlarm;
    DecodeAlarmData(altered, pack, otherAlarm);
    Require(otherAlarm == alarm);
}

// Other families' decoders over the same answer: a refused answer leaves
// the record as it was, and an answer that fits a family decodes in it.
void DecodeInEveryFamily(const AnswerView& answer, std::uint8_t pack)
{
    for (PackFamily family : kForeignFamilies) {
        RAnalogData analog;
        if (DecodeFamilyAnalog(family, answer, pack, QDateTime(), RFamilySettings{}, analog) != 0)
            Require(analog == RAnalogData());
        RAlarmData alarm;
        if (DecodeFamilyAlarm(family, answer, pack, alarm) != 0)
            Require(alarm == RAlarmData());
        for (std::uint8_t cid2 : FamilyRow(family).identity) {
            RFamilyIdentity identity;
            (void)DecodeFamilyIdentity(family, cid2, answer, identity);
        }
    }
    const RFamilyFit fit = FitAnalogAnswer(answer);
    if (IsForeign(fit.family)) {
        // C's answers name their pack only in the frame's ADR.
        const std::uint8_t asked = fit.family == PackFamily::C ? answer.byte(2) : answer.info(1);
        RAnalogData analog;
        Require(DecodeFamilyAnalog(fit.family, answer, asked, QDateTime(), RFamilySettings{}, analog) == 0);
    }
}

// Every decoder over one unpacked answer.
void DecodeEverything(const AnswerView& answer, std::uint8_t pack)
{
    const QDateTime now;
    RAnalogData analog;
    const RAnalogData blankAnalog = analog;
    const std::uint8_t analogResult = DecodeAnalogData(answer, pack, now, analog);
    if (analogResult != 0)
        Require(analog == blankAnalog);
    RAlarmData alarm;
    if (DecodeAlarmData(answer, pack, alarm))
        for (const StatusBit& bit : kStatusBits)
            (void)IsStatusBitSet(alarm, bit);
    RequireInfoPartOnly(answer, pack, analogResult, analog, alarm);
    for (std::uint8_t state : alarm.cellStates)
        (void)StatusMark(state);
    RLocationData location;
    if (DecodeLocationData(answer, pack, now, location))
        Require(location.imei.size() <= 20 && location.ccid.size() <= 30);
    (void)DecodeTextField(answer, 1, 30);
    (void)DecodeCalibrationValue(3, answer.infoLong(3));
    DecodeInEveryFamily(answer, pack);
#ifdef BMS_FUZZ_PARAMS
    RParameter set;
    DecodeParameterBlock(answer, set);
    if (!FindUnfitParameter(set))
        Require(EncodeParameterBlock(set, false).size() == kParameterWriteBytes);
#endif
#ifdef BMS_FUZZ_HISTORY
    std::uint8_t first = 0, second = 0;
    RHistoryRecord record;
    (void)DecodeHistoryRecord(answer, first, second, record);
#endif
}

// Each pack command, answered with the fuzz input.
using Command = std::function<void(TDevOper&, std::uint8_t)>;
const std::vector<Command>& Commands()
{
    static const std::vector<Command> commands = {
        [](TDevOper& op, std::uint8_t p) {
            std::uint8_t echoed = 0;
            std::array<RAnalogData, kMaxPacks> records{};
            op.ReadAnalogData(p, p, echoed, records);
        },
        [](TDevOper& op, std::uint8_t p) {
            std::array<RAlarmData, kMaxPacks> records{};
            op.ReadAlarmData(p, p, records);
        },
        [](TDevOper& op, std::uint8_t p) {
            RDeviceTime time;
            op.ReadDateTime(p, time);
        },
        [](TDevOper& op, std::uint8_t p) {
            std::uint16_t version = 0, number1 = 0;
            std::uint8_t number2 = 0;
            QString name, maker;
            op.ReadDeviceInfo(p, version, name, maker, number1, number2);
        },
        [](TDevOper& op, std::uint8_t p) {
            std::uint8_t packs = 0;
            op.ReadPackQuantity(p, packs);
        },
        [](TDevOper& op, std::uint8_t p) {
            std::uint16_t inForce = 0;
            op.WriteFunctionSwitches(p, p, 0x1FF, inForce);
        },
        [](TDevOper& op, std::uint8_t p) {
            std::int32_t design = 0, full = 0, remaining = 0;
            op.ReadCapacity(p, p, design, full, remaining);
        },
        [](TDevOper& op, std::uint8_t p) {
            QString code;
            op.ReadBarCode(p, p, code);
        },
        [](TDevOper& op, std::uint8_t p) {
            Decimal capacity, energy;
            op.ReadDischargeAccumulating(p, p, capacity, energy);
        },
        [](TDevOper& op, std::uint8_t p) {
            Decimal first, second;
            op.ReadCalibration(p, p, 3, 1, first, second);
        },
        [](TDevOper& op, std::uint8_t p) {
            RProductInfo info;
            op.ReadProductInfo(p, p, info);
        },
        [](TDevOper& op, std::uint8_t p) {
            std::array<RLocationData, kMaxPacks> records{};
            op.ReadLocationInfo(p, p, records);
        },
        [](TDevOper& op, std::uint8_t p) {
            std::uint32_t mask = 0;
            op.AccessBatteryShield(p, p, false, mask);
        },
        [](TDevOper& op, std::uint8_t p) { op.WriteBarCode(p, p, QString::fromUtf8(g_answer.left(40))); },
#ifdef BMS_FUZZ_PARAMS
        [](TDevOper& op, std::uint8_t p) {
            RParameter set;
            ReadParameters(op, p, p, set);
        },
#endif
#ifdef BMS_FUZZ_HISTORY
        [](TDevOper& op, std::uint8_t p) {
            std::uint8_t first = 0, second = 0;
            RHistoryRecord record;
            ReadWorkDataRecord(op, p, p, HistorySubCommand::kNext, first, second, record);
        },
#endif
    };
    return commands;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const FuzzInput input = SplitFuzzInput(data, size);

    // The codec on its own: check, then unpack whatever the check left.
    TDevOper op;
    op.SetAnswerText(input.text);
    const std::uint8_t result = op.CheckAnswer(input.pack);
    Require(op.AnswerText().size() <= TDevOper::kTextCharacters);
    op.DecodeAnswer();
    Require(op.AnswerBytes().size() <= TDevOper::kAnswerBytes);
    if (result == 0)
        Require(op.AnswerText().startsWith('~'));
    DecodeEverything(op.Answer(), input.pack);

    // Sent texts are cut between characters, never inside one: the field
    // reads back as whole characters that encode to the same bytes.
    const QByteArray field = EncodeTextField(QString::fromUtf8(input.text), 30);
    Require(field.size() == 30 && EncodeWireText(DecodeWireText(field)) == field);

    // A whole command with the input as the pack's answer.
    g_answer = input.text.toByteArray();
    const std::vector<Command>& commands = Commands();
    commands[input.command % commands.size()](LinkedOper(), input.pack);
    return 0;
}
