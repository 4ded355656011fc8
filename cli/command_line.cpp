#include "command_line.h"

#include "protocol/records.h"
#include "services/family_settings.h"

#include <limits>

namespace {

// "--name=value" or "--name" followed by the value as the next word.
bool TakeValue(const QStringList& arguments, qsizetype& index, const QString& name, const QString& inlineValue,
               bool hasInline, QString& value, QString& error)
{
    if (hasInline) {
        value = inlineValue;
        return true;
    }
    if (index + 1 >= arguments.size()) {
        error = QStringLiteral("%1 needs a value").arg(name);
        return false;
    }
    value = arguments.at(++index);
    return true;
}

void SplitOption(const QString& word, QString& name, QString& inlineValue, bool& hasInline)
{
    const qsizetype equals = word.indexOf(QLatin1Char('='));
    hasInline = equals > 0;
    name = hasInline ? word.left(equals) : word;
    inlineValue = hasInline ? word.mid(equals + 1) : QString();
}

bool IsOptionWord(const QString& word)
{
    return word.startsWith(QStringLiteral("--")) && word.size() > 2;
}

bool ApplyGlobal(const QString& name, const QString& value, GlobalOptions& globals, QString& error)
{
    if (name == u"--port") {
        if (value.trimmed().isEmpty()) {
            error = QStringLiteral("--port needs a port: COMn, a device path, tcp://HOST:PORT or simulator");
            return false;
        }
        globals.port = value.trimmed();
        return true;
    }
    if (name == u"--baud") {
        const auto baud = ParseWholeIn(value, 1, std::numeric_limits<std::int32_t>::max());
        if (!baud) {
            error = QStringLiteral("--baud takes a positive whole number, not %1").arg(QuotedInput(value));
            return false;
        }
        globals.baudRate = std::int32_t(*baud);
        return true;
    }
    if (name == u"--rs485") {
        QString why;
        const std::optional<RRs485Mode> mode = ParseRs485Mode(value, &why);
        if (!mode) {
            error = QStringLiteral("--rs485: %1").arg(why);
            return false;
        }
        globals.rs485 = *mode;
        return true;
    }
    if (name == u"--family") {
        const auto pin = ParseFamilyPinOption(value, error);
        if (!pin)
            return false;
        for (const auto& [address, family] : globals.familyPins)
            if (address == pin->first && family != pin->second) {
                error = QStringLiteral("--family names address %1 twice, as %2 and as %3")
                            .arg(address)
                            .arg(FamilyName(family), FamilyName(pin->second));
                return false;
            }
        globals.familyPins.push_back(*pin);
        return true;
    }
    if (name == u"--address") {
        const auto address = ParseWholeIn(value, 1, kMaxPacks);
        if (!address) {
            error = QStringLiteral("--address takes a pack address 1-%1, not %2").arg(kMaxPacks).arg(QuotedInput(value));
            return false;
        }
        globals.address = std::uint8_t(*address);
        return true;
    }
    // --lang
    if (value == u"zh" || value == u"en") {
        globals.language = value == u"zh" ? 0 : 1;
        return true;
    }
    error = QStringLiteral("--lang takes zh or en, not %1").arg(QuotedInput(value));
    return false;
}

} // namespace

std::optional<std::pair<std::uint8_t, PackFamily>> ParseFamilyPinOption(const QString& text, QString& error)
{
    // The same rule as the pins of BMS.ini.
    QString why;
    const std::optional<RFamilyPin> pin = ParseFamilyPin(text, &why);
    if (!pin) {
        error = QStringLiteral("--family takes ADDRESS:FAMILY: %1").arg(why);
        return std::nullopt;
    }
    return std::pair{pin->address, pin->family};
}

bool ParseCommandLine(const QStringList& arguments, CommandLine& line, QString& error)
{
    static const QStringList kValued = {QStringLiteral("--port"), QStringLiteral("--baud"), QStringLiteral("--rs485"),
                                        QStringLiteral("--address"), QStringLiteral("--lang"),
                                        QStringLiteral("--family")};
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& word = arguments.at(i);
        if (!optionsEnded && word == u"--") {
            optionsEnded = true;
            if (!line.command.isEmpty())
                line.words << word;
            continue;
        }
        if (!optionsEnded && (word == u"--help" || word == u"-h")) {
            line.help = true;
            continue;
        }
        QString name;
        QString inlineValue;
        bool hasInline = false;
        if (!optionsEnded && IsOptionWord(word))
            SplitOption(word, name, inlineValue, hasInline);
        if (name == u"--json" || name == u"--trace") {
            if (hasInline) {
                error = QStringLiteral("%1 takes no value").arg(name);
                return false;
            }
            (name == u"--json" ? line.globals.json : line.globals.trace) = true;
            continue;
        }
        if (kValued.contains(name)) {
            QString value;
            if (!TakeValue(arguments, i, name, inlineValue, hasInline, value, error)
                || !ApplyGlobal(name, value, line.globals, error))
                return false;
            continue;
        }
        if (line.command.isEmpty()) {
            if (!optionsEnded && IsOptionWord(word)) {
                error = QStringLiteral("unknown option %1").arg(QuotedInput(word));
                return false;
            }
            line.command = word;
            continue;
        }
        line.words << word;
    }
    return true;
}

bool SplitCommandArgs(const QStringList& words, std::span<const OptionSpec> options, CommandArgs& args,
                      QString& error)
{
    bool optionsEnded = false;
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString& word = words.at(i);
        if (!optionsEnded && word == u"--") {
            optionsEnded = true;
            continue;
        }
        if (optionsEnded || !IsOptionWord(word)) {
            args.positional << word;
            continue;
        }
        QString name;
        QString inlineValue;
        bool hasInline = false;
        SplitOption(word, name, inlineValue, hasInline);
        const OptionSpec* known = nullptr;
        for (const OptionSpec& option : options)
            if (name == QString::fromUtf8(option.name))
                known = &option;
        if (!known) {
            error = QStringLiteral("unknown option %1").arg(QuotedInput(name));
            return false;
        }
        if (args.options.contains(name)) {
            error = QStringLiteral("%1 given twice").arg(name);
            return false;
        }
        QString value;
        if (known->takesValue) {
            if (!TakeValue(words, i, name, inlineValue, hasInline, value, error))
                return false;
        } else if (hasInline) {
            error = QStringLiteral("%1 takes no value").arg(name);
            return false;
        }
        args.options.insert(name, value);
    }
    return true;
}

std::optional<std::uint64_t> ParseMask(QStringView text, std::uint64_t maximum)
{
    std::optional<std::uint64_t> value;
    if (text.startsWith(u"0x") || text.startsWith(u"0X")) {
        const QStringView digits = text.mid(2);
        if (digits.isEmpty() || digits.size() > 16)
            return std::nullopt;
        bool ok = false;
        const qulonglong parsed = digits.toULongLong(&ok, 16);
        // toULongLong accepts a sign and blanks; a mask has only hex digits.
        for (QChar c : digits)
            ok = ok && c.isLetterOrNumber();
        if (ok)
            value = parsed;
    } else if (const std::optional<std::int64_t> whole = ParseWhole(text); whole && *whole >= 0) {
        value = std::uint64_t(*whole);
    }
    if (!value || *value > maximum)
        return std::nullopt;
    return value;
}
