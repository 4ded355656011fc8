// The configuration commands: clock, bar code, capacities, cycle count,
// number of packs, recording window and erasing the logs. Every value is
// checked here, before the port is opened, with the limits the
// configuration page puts on its fields; a value the pack could only get
// wrapped or cut is refused rather than sent.
#include "commands.h"

#include "protocol/wire_text.h"
#include "services/settings.h"
#include "services/text_ids.h"
#include "store/config_checks.h"
#include "store/devinfo.h"

#include <QDateTime>
#include <QRegularExpression>

namespace {

using ConfigLimits::kMaxCapacityMah;
using ConfigLimits::kMaxCycles;
using ConfigLimits::kMaxIntervalSeconds;
constexpr int kBarCodeBytes = ConfigLimits::kWireTextBytes;

QString ArgumentsOf(const CommandArgs& args)
{
    return args.positional.join(QLatin1Char(' '));
}

// "read" with no words, or "set" followed by exactly count words.
enum class Form { Read, Set, Bad };
Form FormOf(const CommandArgs& args, qsizetype setCount)
{
    if (args.positional.isEmpty())
        return Form::Read;
    if (args.positional.first() == u"set" && args.positional.size() == setCount + 1)
        return Form::Set;
    return Form::Bad;
}

Prepared Bad(const char* usage, const CommandArgs& args)
{
    return Prepared::Usage(QStringLiteral("expected \"%1\", got %2")
                               .arg(QString::fromUtf8(usage), QuotedInput(ArgumentsOf(args))));
}

std::optional<QTime> ParseClockTime(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,2}):(\\d{2})$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const QTime time(match.captured(1).toInt(), match.captured(2).toInt());
    return time.isValid() ? std::optional<QTime>(time) : std::nullopt;
}

int WriteTime(Session& session, const RDeviceTime& time, const QString& command)
{
    const std::uint8_t result = session.store().WriteDateTime(session.address(), time);
    return result != 0 ? session.failed(result) : session.written(command);
}

} // namespace

Prepared PrepareTime(const CommandArgs& args)
{
    if (args.has("--packs")) {
        if (args.positional.size() != 1 || args.positional.first() != u"sync")
            return Prepared::Usage(QStringLiteral("--packs goes with \"time sync\" only"));
        return PrepareTimeSyncMany(args);
    }
    if (args.positional.isEmpty()) {
        return Prepared::Run([](Session& session) {
            RDeviceTime time;
            const std::uint8_t result = session.store().ReadDateTime(session.address(), time);
            if (result != 0)
                return session.failed(result);
            // A clock no calendar has is an error, not a reading.
            if (!time.toDateTime())
                return session.failed(session.store().TextOper().GetLanguageText(TextId::kInvalidPackClock)
                                          .arg(FormatDeviceTime(time)));
            session.out().print(OutputRecord(QStringLiteral("time"))
                                    .number(QStringLiteral("pack"), session.pack())
                                    .text(QStringLiteral("pack_time"), FormatDeviceTime(time)));
            return 0;
        });
    }
    if (args.positional.size() == 1 && args.positional.first() == u"sync") {
        // The PC clock is taken when the request is made, not when the
        // command line was read.
        return Prepared::Run([](Session& session) {
            return WriteTime(session, TDevInfo::GetPcTime(), QStringLiteral("time sync"));
        });
    }
    if (FormOf(args, 1) != Form::Set)
        return Bad("time | time set \"YYYY-MM-DD HH:MM:SS\" | time sync", args);
    const QDateTime when =
        QDateTime::fromString(args.positional.at(1).trimmed(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!when.isValid() || when.date().year() < 2000 || when.date().year() > 2255)
        return Prepared::Usage(QStringLiteral("not a date and time of the form \"YYYY-MM-DD HH:MM:SS\" "
                                              "between 2000 and 2255: %1").arg(QuotedInput(args.positional.at(1))));
    const RDeviceTime time = RDeviceTime::fromDateTime(when);
    return Prepared::Run([time](Session& session) { return WriteTime(session, time, QStringLiteral("time set")); });
}

Prepared PrepareBarCode(const CommandArgs& args)
{
    const Form form = FormOf(args, 1);
    if (form == Form::Bad)
        return Bad("barcode | barcode set TEXT", args);
    if (form == Form::Read) {
        return Prepared::Run([](Session& session) {
            QString barCode;
            const std::uint8_t result = session.store().ReadBarCode(session.address(), session.pack(), barCode);
            if (result != 0)
                return session.failed(result);
            session.out().print(OutputRecord(QStringLiteral("barcode"))
                                    .number(QStringLiteral("pack"), session.pack())
                                    .text(QStringLiteral("bar_code"), barCode.trimmed()));
            return 0;
        });
    }
    const QString barCode = args.positional.at(1).trimmed();
    if (barCode.isEmpty())
        return Prepared::Usage(TTextOper().GetLanguageText(0x7018));
    if (const QString refused = RefusedPackText(QStringLiteral("the bar code"), barCode); !refused.isEmpty())
        return Prepared::Usage(refused);
    if (EncodeWireText(barCode).size() > kBarCodeBytes)
        return Prepared::Usage(QStringLiteral("the bar code is longer than %1 bytes in code page %2")
                                   .arg(kBarCodeBytes)
                                   .arg(WireEncoding()));
    return Prepared::Run([barCode](Session& session) {
        const std::uint8_t result = session.store().WriteBarCode(session.address(), session.pack(), barCode);
        return result != 0 ? session.failed(result) : session.written(QStringLiteral("barcode set"));
    });
}

Prepared PrepareCapacity(const CommandArgs& args)
{
    const Form form = FormOf(args, 3);
    if (form == Form::Bad)
        return Bad("capacity | capacity set DESIGN FULL REMAINING", args);
    if (form == Form::Read) {
        return Prepared::Run([](Session& session) {
            std::int32_t design = 0;
            std::int32_t full = 0;
            std::int32_t remaining = 0;
            const std::uint8_t result =
                session.store().ReadCapacity(session.address(), session.pack(), design, full, remaining);
            if (result != 0)
                return session.failed(result);
            session.out().print(OutputRecord(QStringLiteral("capacity"))
                                    .number(QStringLiteral("pack"), session.pack())
                                    .number(QStringLiteral("design_mAh"), design)
                                    .number(QStringLiteral("full_mAh"), full)
                                    .number(QStringLiteral("remaining_mAh"), remaining));
            return 0;
        });
    }
    std::array<std::int32_t, 3> values{};
    for (int i = 0; i < 3; ++i) {
        const auto value = ParseWholeIn(args.positional.at(i + 1), 0, kMaxCapacityMah);
        if (!value)
            return Prepared::Usage(QStringLiteral("a capacity is a whole number of mAh from 0 to %1, not %2")
                                       .arg(kMaxCapacityMah).arg(QuotedInput(args.positional.at(i + 1))));
        values[std::size_t(i)] = std::int32_t(*value);
    }
    return Prepared::Run([values](Session& session) {
        const std::uint8_t result =
            session.store().WriteCapacity(session.address(), session.pack(), values[0], values[1], values[2]);
        return result != 0 ? session.failed(result) : session.written(QStringLiteral("capacity set"));
    });
}

Prepared PrepareCycles(const CommandArgs& args)
{
    if (FormOf(args, 1) != Form::Set)
        return Bad("cycles set N", args);
    const auto cycles = ParseWholeIn(args.positional.at(1), 0, kMaxCycles);
    if (!cycles)
        return Prepared::Usage(QStringLiteral("the cycle count is a whole number from 0 to %1, not %2")
                                   .arg(kMaxCycles).arg(QuotedInput(args.positional.at(1))));
    const auto count = std::uint16_t(*cycles);
    return Prepared::Run([count](Session& session) {
        const std::uint8_t result = session.store().WriteCycleTime(session.address(), session.pack(), count);
        return result != 0 ? session.failed(result) : session.written(QStringLiteral("cycles set"));
    });
}

Prepared PreparePacks(const CommandArgs& args)
{
    const Form form = FormOf(args, 1);
    if (form == Form::Bad)
        return Bad("packs | packs set N", args);
    if (form == Form::Read) {
        return Prepared::Run([](Session& session) {
            std::uint8_t packs = 0;
            const std::uint8_t result = session.store().ReadPackQuantity(session.address(), packs);
            if (result != 0)
                return session.failed(result);
            session.out().print(OutputRecord(QStringLiteral("packs"))
                                    .number(QStringLiteral("pack"), session.pack())
                                    .number(QStringLiteral("packs"), packs));
            return 0;
        });
    }
    // The page folds other numbers into 1-16; a script gets told instead.
    const auto packs = ParseWholeIn(args.positional.at(1), ConfigLimits::kMinPackQuantity, ConfigLimits::kMaxPackQuantity);
    if (!packs)
        return Prepared::Usage(QStringLiteral("the number of packs is 1-%1, not %2")
                                   .arg(kMaxPacks).arg(QuotedInput(args.positional.at(1))));
    const auto count = std::uint8_t(*packs);
    return Prepared::Run([count](Session& session) {
        const std::uint8_t result = session.store().WritePackQuantity(session.address(), count);
        return result != 0 ? session.failed(result) : session.written(QStringLiteral("packs set"));
    });
}

Prepared PrepareRecordTime(const CommandArgs& args)
{
    if (FormOf(args, 3) != Form::Set)
        return Bad("record-time set HH:MM HH:MM SECONDS", args);
    const std::optional<QTime> start = ParseClockTime(args.positional.at(1));
    const std::optional<QTime> end = ParseClockTime(args.positional.at(2));
    if (!start || !end)
        return Prepared::Usage(QStringLiteral("start and end are times of day HH:MM, not %1 %2")
                                   .arg(QuotedInput(args.positional.at(1)), QuotedInput(args.positional.at(2))));
    const auto interval = ParseWholeIn(args.positional.at(3), 0, kMaxIntervalSeconds);
    if (!interval)
        return Prepared::Usage(QStringLiteral("the interval is a whole number of seconds from 0 to %1, not %2")
                                   .arg(kMaxIntervalSeconds).arg(QuotedInput(args.positional.at(3))));
    const QTime from = *start;
    const QTime to = *end;
    const auto seconds = std::uint16_t(*interval);
    return Prepared::Run([from, to, seconds](Session& session) {
        const std::uint8_t result = session.store().WriteRecordTime(
            session.address(), session.pack(), std::uint8_t(from.hour()), std::uint8_t(from.minute()),
            std::uint8_t(to.hour()), std::uint8_t(to.minute()), seconds);
        return result != 0 ? session.failed(result) : session.written(QStringLiteral("record-time set"));
    });
}

Prepared PrepareDelete(const CommandArgs& args)
{
    if (args.positional.size() != 1 || (args.positional.first() != u"work" && args.positional.first() != u"alarm"))
        return Bad("delete work|alarm", args);
    const bool alarmLog = args.positional.first() == u"alarm";
    return Prepared::Run([alarmLog](Session& session) {
        const std::uint8_t result = alarmLog ? session.store().DeleteAlarmRecords(session.address(), session.pack())
                                             : session.store().DeleteWorkData(session.address(), session.pack());
        return result != 0 ? session.failed(result)
                           : session.written(alarmLog ? QStringLiteral("delete alarm") : QStringLiteral("delete work"));
    });
}
