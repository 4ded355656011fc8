// The handlers of the configuration page's left column: clock, recording
// window, erasing the logs, capacities, cycle count, number of packs and
// bar code.

#include "views/framepackconfig.h"

#include "services/input_text.h"
#include "services/settings.h"
#include "services/text_ids.h"
#include "services/textoper.h"
#include "store/config_checks.h"
#include "store/devinfo.h"
#include "views/page_command.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QTimeEdit>

#include <array>

namespace {

// The caption of the bar code's label names it in messages.
constexpr std::uint16_t kBarCodeLabel = 0x700F;

QString Text(std::uint16_t id)
{
    return TTextOper().GetLanguageText(id);
}

} // namespace

void TFramePackConfig::BtnReadDateTimeClick()
{
    if (!PortIsOpen())
        return;
    m_command->Read<RDeviceTime>(
        m_store, {},
        [address = Address()](TDevInfo& store, RDeviceTime& time) { return store.ReadDateTime(address, time); },
        [this](std::uint8_t result, const RDeviceTime& time) {
            if (result != 0) {
                Report(result);
                return;
            }
            // A clock the pack got wrong (month 0, 31 February) cannot be
            // shown: the pickers keep what they hold and the user is told.
            const std::optional<QDateTime> when = time.toDateTime();
            if (!when) {
                Inform(Text(TextId::kInvalidPackClock).arg(FormatDeviceTime(time)));
                return;
            }
            DateTimePicker1->setDate(when->date());
            DateTimePicker2->setTime(when->time());
            Report(result);
        });
}

void TFramePackConfig::BtnWriteDateTimeClick()
{
    if (!PortIsOpen() || !Confirmed(0x7011))
        return;
    // The PC time of the moment the question was answered.
    if (CheckBox1->isChecked()) {
        const QDateTime now = QDateTime::currentDateTime();
        DateTimePicker1->setDate(now.date());
        DateTimePicker2->setTime(now.time());
    }
    const RDeviceTime time =
        RDeviceTime::fromDateTime(QDateTime(DateTimePicker1->date(), DateTimePicker2->time()));
    Send([address = Address(), time](TDevInfo& store) { return store.WriteDateTime(address, time); },
         [this](std::uint8_t result) { Report(result); });
}

void TFramePackConfig::BtnWriteRecordTimeClick()
{
    if (!PortIsOpen() || !Given(Edit1))
        return;
    // The interval travels in 16 bits: a larger one is refused, not wrapped.
    const auto interval = WholeIn(Edit1, 0, ConfigLimits::kMaxIntervalSeconds, TextId::kIntervalRange);
    if (!interval || !Confirmed(0x7012))
        return;
    const QTime start = DateTimePicker4->time();
    const QTime end = DateTimePicker5->time();
    Send(
        [address = Address(), pack = Pack(), start, end, seconds = std::uint16_t(*interval)](TDevInfo& store) {
            return store.WriteRecordTime(address, pack, std::uint8_t(start.hour()), std::uint8_t(start.minute()),
                                         std::uint8_t(end.hour()), std::uint8_t(end.minute()), seconds);
        },
        [this](std::uint8_t result) {
            if (Report(result))
                NoteValuesFrom(GroupRecording, true);
        });
}

void TFramePackConfig::BtnDeleteDataClick()
{
    DeleteLog(0x7013, &TDevInfo::DeleteWorkData);
}

void TFramePackConfig::BtnDeleteAlarmClick()
{
    DeleteLog(0x7014, &TDevInfo::DeleteAlarmRecords);
}

void TFramePackConfig::DeleteLog(std::uint16_t questionId,
                                 std::uint8_t (TDevInfo::*command)(std::uint8_t, std::uint8_t))
{
    if (!PortIsOpen() || !Confirmed(questionId))
        return;
    // Erasing takes the pack seconds: the page says it waits meanwhile.
    Send([address = Address(), pack = Pack(), command](TDevInfo& store) { return (store.*command)(address, pack); },
         [this](std::uint8_t result) { Report(result); });
}

void TFramePackConfig::BtnReadCapacityClick()
{
    if (!PortIsOpen())
        return;
    struct Read {
        std::uint8_t result = 0;
        std::int32_t design = 0;
        std::int32_t full = 0;
        std::int32_t remaining = 0;
    };
    m_command->Run<Read>(
        m_store,
        [address = Address(), pack = Pack()](TDevInfo& store) {
            Read read;
            read.result = store.ReadCapacity(address, pack, read.design, read.full, read.remaining);
            return read;
        },
        [this](const Read& read) {
            if (read.result == 0) {
                Edit2->setText(QString::number(read.design));
                Edit3->setText(QString::number(read.full));
                Edit4->setText(QString::number(read.remaining));
            } else {
                for (QLineEdit* edit : {Edit2, Edit3, Edit4})
                    edit->clear();
            }
            NoteValuesFrom(GroupCapacity, read.result == 0);
            Report(read.result);
        });
}

void TFramePackConfig::BtnWriteCapacityClick()
{
    if (!PortIsOpen() || !Given(Edit2) || !Given(Edit3) || !Given(Edit4))
        return;
    // Capacities travel in 16 bits of 10 mAh: a larger one is refused.
    std::array<std::int32_t, 3> values{};
    const std::array<QLineEdit*, 3> edits = {Edit2, Edit3, Edit4};
    for (std::size_t i = 0; i < edits.size(); ++i) {
        const auto value = WholeIn(edits[i], 0, ConfigLimits::kMaxCapacityMah, TextId::kCapacityRange);
        if (!value)
            return;
        values[i] = std::int32_t(*value);
    }
    if (!Confirmed(0x7015))
        return;
    Send(
        [address = Address(), pack = Pack(), values](TDevInfo& store) {
            return store.WriteCapacity(address, pack, values[0], values[1], values[2]);
        },
        [this](std::uint8_t result) {
            if (Report(result))
                NoteValuesFrom(GroupCapacity, true);
        });
}

void TFramePackConfig::BtnWriteCycleTimeClick()
{
    if (!PortIsOpen() || !Given(Edit5))
        return;
    const auto cycles = WholeIn(Edit5, 0, ConfigLimits::kMaxCycles, TextId::kCycleRange);
    if (!cycles || !Confirmed(0x7016))
        return;
    Send([address = Address(), pack = Pack(), count = std::uint16_t(*cycles)](
             TDevInfo& store) { return store.WriteCycleTime(address, pack, count); },
         [this](std::uint8_t result) { Report(result); });
}

void TFramePackConfig::BtnReadPackQuantityClick()
{
    if (!PortIsOpen())
        return;
    m_command->Read<std::uint8_t>(
        m_store, 0,
        [address = Address()](TDevInfo& store, std::uint8_t& packs) { return store.ReadPackQuantity(address, packs); },
        [this](std::uint8_t result, const std::uint8_t& packs) {
            if (result == 0)
                Edit6->setText(QString::number(packs));
            else
                Edit6->clear();
            NoteValuesFrom(GroupPackCount, result == 0);
            Report(result);
        });
}

void TFramePackConfig::BtnWritePackQuantityClick()
{
    if (!PortIsOpen() || !Given(Edit6))
        return;
    // A bus holds 1 to 16 packs; any other number is refused rather than
    // folded into that range.
    const auto packs = WholeIn(Edit6, ConfigLimits::kMinPackQuantity, ConfigLimits::kMaxPackQuantity,
                               TextId::kPackCountRange);
    if (!packs || !Confirmed(0x7017))
        return;
    Send([address = Address(), count = std::uint8_t(*packs)](
             TDevInfo& store) { return store.WritePackQuantity(address, count); },
         [this](std::uint8_t result) {
             if (Report(result))
                 NoteValuesFrom(GroupPackCount, true);
         });
}

void TFramePackConfig::BtnReadBarCodeClick()
{
    if (!PortIsOpen())
        return;
    m_command->Read<QString>(
        m_store, {},
        [address = Address(), pack = Pack()](TDevInfo& store, QString& barCode) {
            return store.ReadBarCode(address, pack, barCode);
        },
        [this](std::uint8_t result, const QString& barCode) {
            Edit10->setText(result == 0 ? barCode.trimmed() : QString());
            NoteValuesFrom(GroupBarCode, result == 0);
            Report(result);
        });
}

void TFramePackConfig::BtnWriteBarCodeClick()
{
    if (!PortIsOpen() || !Given(Edit10, 0x7018))
        return;
    // A pasted text may carry control characters the pack would store as
    // they are.
    const QString barCode = Edit10->text().trimmed();
    // A text longer than the field is refused, as bmstool does, never cut.
    if (const QString refused = RefusedFieldText(Text(kBarCodeLabel), barCode, ConfigLimits::kWireTextBytes);
        !refused.isEmpty()) {
        Inform(refused);
        return;
    }
    if (!Confirmed(0x7019))
        return;
    Send([address = Address(), pack = Pack(), barCode](
             TDevInfo& store) { return store.WriteBarCode(address, pack, barCode); },
         [this](std::uint8_t result) {
             if (Report(result))
                 NoteValuesFrom(GroupBarCode, true);
         });
}
