// Maintenance commands: calibration, product texts, function switches,
// battery shield and the accumulated discharge.
#include "commands.h"

#include "protocol/decoders.h"
#include "protocol/wire_text.h"
#include "store/calibration_items.h"
#include "store/config_checks.h"
#include "store/devinfo.h"


#include <array>
#include <limits>

namespace {

// The calibration items the configuration page offers, by kind.
using CalibrationItem = RCalibrationItem;
constexpr std::uint8_t kTemperatureKind = kTemperatureCalibrationKind;

// "voltage reference (mV)": the item with the unit its values are given in.
QString ItemName(const CalibrationItem& row)
{
    const char* unit = row.unit == CalibrationUnit::Millivolt     ? "mV"
                     : row.unit == CalibrationUnit::Milliampere ? "mA"
                                                                : "degC";
    return QStringLiteral("%1 (%2)").arg(QLatin1String(row.name.data(), qsizetype(row.name.size())), QLatin1String(unit));
}

const CalibrationItem* FindCalibrationItem(const QString& kindText, const QString& itemText)
{
    const auto kind = ParseWholeIn(kindText, 0, 255);
    const auto item = ParseWholeIn(itemText, 0, 255);
    if (!kind || !item)
        return nullptr;
    return ::FindCalibrationItem(std::uint8_t(*kind), std::uint8_t(*item));
}

// A calibration value as the pack takes it: whole mV or mA, or tenths of a
// degree, in 32 bits. A value that would reach the pack other than as
// written is refused with the reason; for a temperature the message names
// the value that would have been sent, so that the user gives it as meant.
std::optional<Decimal> ParseCalibrationValue(const CalibrationItem& row, const QString& text, QString& error)
{
    const QString name = ItemName(row);
    const bool temperature = row.kind == kTemperatureKind;
    const QString unit = temperature ? QStringLiteral("degC") : name.section(u'(', 1).chopped(1);
    CalibrationValueError reason = CalibrationValueError::None;
    const std::optional<Decimal> value = CheckCalibrationValue(row.kind, text, reason);
    switch (reason) {
    case CalibrationValueError::None:
        break;
    case CalibrationValueError::NotANumber:
        error = QStringLiteral("a calibration value of %1 is a %2 number, not %3")
                    .arg(name, temperature ? QStringLiteral("decimal") : QStringLiteral("whole"), QuotedInput(text));
        break;
    case CalibrationValueError::OutOfRange:
        error = QStringLiteral("%1 does not fit the 32-bit calibration value of %2 (at most about %3 %4 either way)")
                    .arg(QuotedInput(text), name,
                         temperature ? QStringLiteral("214748364.7") : QStringLiteral("2147483647"), unit);
        break;
    case CalibrationValueError::NotWhole:
        error = QStringLiteral("%1 takes whole %2, not %3").arg(name, unit, QuotedInput(text));
        break;
    case CalibrationValueError::TooManyDecimals:
        error = QStringLiteral("%1 is calibrated in steps of 0.1 degC: %2 would be sent as %3; "
                               "give it with at most one decimal")
                    .arg(name, QuotedInput(text), CutToTenths(*Decimal::parse(text.trimmed())).toString());
        break;
    }
    return value;
}

int ReadCalibration(Session& session, const CalibrationItem& row)
{
    Decimal first;
    Decimal second;
    const std::uint8_t result =
        session.store().ReadCalibration(session.address(), session.pack(), row.kind, row.item, first, second);
    if (result != 0)
        return session.failed(result);
    session.out().print(OutputRecord(QStringLiteral("calibration"))
                            .number(QStringLiteral("pack"), session.pack())
                            .number(QStringLiteral("kind"), row.kind)
                            .number(QStringLiteral("item"), row.item)
                            .text(QStringLiteral("name"), ItemName(row))
                            .number(QStringLiteral("first"), first)
                            .number(QStringLiteral("second"), second));
    return 0;
}

constexpr int kProductTextBytes = ConfigLimits::kWireTextBytes;

Prepared BadUsage(const char* usage, const CommandArgs& args)
{
    return Prepared::Usage(QStringLiteral("expected \"%1\", got %2")
                               .arg(QString::fromUtf8(usage), QuotedInput(args.positional.join(QLatin1Char(' ')))));
}

} // namespace

Prepared PrepareCalibration(const CommandArgs& args)
{
    static constexpr const char* kUsage =
        "calibration read KIND ITEM | calibration write KIND ITEM FIRST SECOND | calibration reset KIND ITEM";
    const QStringList& words = args.positional;
    const QString operation = words.value(0);
    const qsizetype expected = operation == u"write" ? 5 : 3;
    if ((operation != u"read" && operation != u"write" && operation != u"reset") || words.size() != expected)
        return BadUsage(kUsage, args);
    const CalibrationItem* found = FindCalibrationItem(words.at(1), words.at(2));
    if (!found)
        return Prepared::Usage(QStringLiteral("no calibration item %1 %2; see \"bmstool calibration --help\"")
                                   .arg(QuotedInput(words.at(1)), QuotedInput(words.at(2))));
    const CalibrationItem row = *found;
    if (operation == u"read")
        return Prepared::Run([row](Session& session) { return ReadCalibration(session, row); });

    const bool reset = operation == u"reset";
    Decimal first;
    Decimal second;
    if (!reset) {
        QString error;
        const std::optional<Decimal> a = ParseCalibrationValue(row, words.at(3), error);
        const std::optional<Decimal> b = a ? ParseCalibrationValue(row, words.at(4), error) : std::nullopt;
        if (!b)
            return Prepared::Usage(error);
        first = *a;
        second = *b;
    }
    return Prepared::Run([row, reset, first, second](Session& session) {
        const std::uint8_t result = session.store().WriteCalibration(session.address(), session.pack(), row.kind,
                                                                     row.item, reset, first, second);
        if (result != 0)
            return session.failed(result);
        // What the pack now holds, as the page shows it after a calibration.
        return ReadCalibration(session, row);
    });
}

Prepared PrepareProduct(const CommandArgs& args)
{
    const QStringList& words = args.positional;
    if (words.isEmpty()) {
        return Prepared::Run([](Session& session) {
            RProductInfo info;
            TDevInfo::ClearProductInfo(info);
            const std::uint8_t result = session.store().ReadProductInfo(session.address(), session.pack(), info);
            if (result != 0)
                return session.failed(result);
            OutputRecord record(QStringLiteral("product"));
            record.number(QStringLiteral("pack"), session.pack());
            for (const ProductField& field : kProductFields)
                record.text(QString::fromLatin1(field.name), (info.*field.field).trimmed());
            session.out().print(record);
            return 0;
        });
    }
    if (words.first() != u"set" || words.size() != 1 + qsizetype(kProductFields.size()))
        return BadUsage("product | product set COMPANY DATE MODULE VERSION TYPE SERIAL REMARK", args);
    RProductInfo info;
    for (std::size_t i = 0; i < kProductFields.size(); ++i) {
        const ProductField& field = kProductFields[i];
        const QString text = words.at(qsizetype(i) + 1).trimmed();
        if (text.isEmpty() && field.emptyTextId != 0)
            return Prepared::Usage(TTextOper().GetLanguageText(field.emptyTextId));
        if (const QString refused = RefusedPackText(QString::fromLatin1(field.name), text); !refused.isEmpty())
            return Prepared::Usage(refused);
        if (text.size() > field.maxCharacters || EncodeWireText(text).size() > kProductTextBytes)
            return Prepared::Usage(QStringLiteral("%1 is longer than %2 characters (%3 bytes)")
                                       .arg(QString::fromLatin1(field.name))
                                       .arg(field.maxCharacters)
                                       .arg(kProductTextBytes));
        info.*field.field = text;
    }
    return Prepared::Run([info](Session& session) {
        const std::uint8_t result = session.store().WriteProductInfo(session.address(), session.pack(), info);
        return result != 0 ? session.failed(result) : session.written(QStringLiteral("product set"));
    });
}

Prepared PrepareSwitches(const CommandArgs& args)
{
    if (args.positional.size() != 1)
        return BadUsage("switches WORD", args);
    const auto word = ParseMask(args.positional.first(), std::numeric_limits<std::uint16_t>::max());
    if (!word)
        return Prepared::Usage(QStringLiteral("the switch word is 0-65535 (or 0x0000-0xFFFF), not %1")
                                   .arg(QuotedInput(args.positional.first())));
    const auto switches = std::uint16_t(*word);
    return Prepared::Run([switches](Session& session) {
        std::uint16_t inForce = 0;
        const std::uint8_t result =
            session.store().WriteFunctionSwitches(session.address(), session.pack(), switches, inForce);
        if (result != 0)
            return session.failed(result);
        session.out().print(OutputRecord(QStringLiteral("switches"))
                                .number(QStringLiteral("pack"), session.pack())
                                .number(QStringLiteral("requested"), switches)
                                .number(QStringLiteral("in_force"), inForce)
                                .text(QStringLiteral("in_force_hex"),
                                      QStringLiteral("0x%1").arg(inForce, 4, 16, QLatin1Char('0'))));
        return 0;
    });
}

Prepared PrepareShield(const CommandArgs& args)
{
    const QStringList& words = args.positional;
    const bool write = !words.isEmpty();
    if (write && (words.size() != 2 || words.first() != u"set"))
        return BadUsage("shield | shield set MASK", args);
    std::uint32_t mask = 0;
    if (write) {
        const auto parsed = ParseMask(words.at(1), std::numeric_limits<std::uint32_t>::max());
        if (!parsed)
            return Prepared::Usage(QStringLiteral("the shield mask is 0-4294967295 (or 0x hex), not %1")
                                       .arg(QuotedInput(words.at(1))));
        mask = std::uint32_t(*parsed);
    }
    return Prepared::Run([write, mask](Session& session) {
        std::uint32_t value = mask;
        const std::uint8_t result = session.store().AccessBatteryShield(session.address(), session.pack(), write, value);
        if (result != 0)
            return session.failed(result);
        session.out().print(OutputRecord(QStringLiteral("shield"))
                                .number(QStringLiteral("pack"), session.pack())
                                .number(QStringLiteral("mask"), value)
                                .text(QStringLiteral("mask_hex"), QStringLiteral("0x%1").arg(value, 8, 16, QLatin1Char('0'))));
        return 0;
    });
}

Prepared PrepareDischarge(const CommandArgs& args)
{
    const QStringList& words = args.positional;
    if (words.isEmpty()) {
        return Prepared::Run([](Session& session) {
            Decimal capacity;
            Decimal energy;
            const std::uint8_t result =
                session.store().ReadDischargeAccumulating(session.address(), session.pack(), capacity, energy);
            if (result != 0)
                return session.failed(result);
            session.out().print(OutputRecord(QStringLiteral("discharge"))
                                    .number(QStringLiteral("pack"), session.pack())
                                    .number(QStringLiteral("capacity_Ah"), capacity)
                                    .number(QStringLiteral("energy_kWh"), energy));
            return 0;
        });
    }
    if (words.size() != 3 || words.first() != u"set")
        return BadUsage("discharge | discharge set AH KWH", args);
    const std::optional<Decimal> capacity = Decimal::parse(words.at(1).trimmed());
    const std::optional<Decimal> energy = Decimal::parse(words.at(2).trimmed());
    if (!capacity || !energy || !EncodeTenthsTruncated(*capacity) || !EncodeHundredthsTruncated(*energy)
        || *capacity < Decimal() || *energy < Decimal())
        return Prepared::Usage(QStringLiteral("AH and KWH are non-negative numbers that fit the pack's counters, "
                                              "not %1 %2").arg(QuotedInput(words.at(1)), QuotedInput(words.at(2))));
    const Decimal ah = *capacity;
    const Decimal kwh = *energy;
    return Prepared::Run([ah, kwh](Session& session) {
        const std::uint8_t result =
            session.store().WriteDischargeAccumulating(session.address(), session.pack(), ah, kwh);
        return result != 0 ? session.failed(result) : session.written(QStringLiteral("discharge set"));
    });
}
