#include "sim_faults.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <string_view>

namespace {

// How each fault is written: its name and the arguments after it.
enum class ArgumentShape : std::uint8_t {
    None,
    Address,
    Count,
    CommandAndCode,
    Milliseconds,
    AddressAndMilliseconds,
    Command,
    LiveAnswerAndField,
    CommandCodeAddress,
    AddressAndCommand,
};

struct FaultSyntax {
    std::string_view name;
    SimFaultKind kind;
    ArgumentShape shape;
};

constexpr std::array<FaultSyntax, 19> kFaultSyntax = {{
    {"silent", SimFaultKind::Silent, ArgumentShape::Address},
    {"noise", SimFaultKind::Noise, ArgumentShape::None},
    {"badsum", SimFaultKind::BadSum, ArgumentShape::Count},
    {"truncate", SimFaultKind::Truncate, ArgumentShape::Count},
    {"wrongaddr", SimFaultKind::WrongAddress, ArgumentShape::Count},
    {"rtn", SimFaultKind::Rtn, ArgumentShape::CommandAndCode},
    {"delay", SimFaultKind::Delay, ArgumentShape::Milliseconds},
    {"slow", SimFaultKind::SlowPack, ArgumentShape::AddressAndMilliseconds},
    {"glitch", SimFaultKind::Glitch, ArgumentShape::None},
    {"stutter", SimFaultKind::Stutter, ArgumentShape::None},
    {"garbage", SimFaultKind::Garbage, ArgumentShape::None},
    {"badclock", SimFaultKind::BadClock, ArgumentShape::None},
    {"echo", SimFaultKind::Echo, ArgumentShape::None},
    {"chunks", SimFaultKind::Chunks, ArgumentShape::Milliseconds},
    {"badclock", SimFaultKind::BadClock, ArgumentShape::Address},   // the month to send
    {"answeras", SimFaultKind::AnswerAs, ArgumentShape::Command},
    {"short", SimFaultKind::ShortLayout, ArgumentShape::LiveAnswerAndField},
    {"rtn", SimFaultKind::Rtn, ArgumentShape::CommandCodeAddress},   // one pack only
    {"cut", SimFaultKind::Cut, ArgumentShape::AddressAndCommand},
}};

// The live answers a ShortLayout fault can cut, and where.
struct ShortName {
    std::u16string_view name;
    int value;
};
constexpr std::array<ShortName, 2> kShortAnswers = {{{u"analog", 0x42}, {u"alarm", 0x44}}};
constexpr std::array<ShortName, 2> kShortFields = {{{u"cells", kShortAfterCells},
                                                    {u"temperatures", kShortAfterTemperatures}}};

std::optional<int> ShortValue(QStringView text, const std::array<ShortName, 2>& names)
{
    for (const ShortName& row : names)
        if (text.compare(QStringView(row.name), Qt::CaseInsensitive) == 0)
            return row.value;
    return std::nullopt;
}

constexpr int kMaxMilliseconds = 600000;

std::optional<int> ParseNumber(QStringView text, int base, int minimum, int maximum)
{
    if (base == 16 && (text.startsWith(u"0x") || text.startsWith(u"0X")))
        text = text.mid(2);
    bool ok = false;
    const int value = text.toInt(&ok, base);
    if (!ok || value < minimum || value > maximum)
        return std::nullopt;
    return value;
}

std::optional<SimFault> Fail(QString* error, const QString& message)
{
    if (error)
        *error = message;
    return std::nullopt;
}

} // namespace

std::optional<SimFault> ParseSimFault(QStringView text, QString* error)
{
    const QList<QStringView> parts = text.trimmed().split(u':');
    static constexpr std::array<int, 10> kArgumentCount = {0, 1, 1, 2, 1, 2, 1, 2, 3, 2};
    // A name may come in more than one form; the one with as many
    // arguments as given is meant.
    const FaultSyntax* syntax = nullptr;
    for (const FaultSyntax& row : kFaultSyntax)
        if (parts.front().compare(QLatin1String(row.name.data(), qsizetype(row.name.size())), Qt::CaseInsensitive) == 0
            && (!syntax || parts.size() == 1 + kArgumentCount[std::size_t(row.shape)]))
            syntax = &row;
    if (!syntax)
        return Fail(error, QStringLiteral("unknown fault \"%1\"").arg(text));

    if (parts.size() != 1 + kArgumentCount[std::size_t(syntax->shape)])
        return Fail(error, QStringLiteral("wrong number of arguments in fault \"%1\"").arg(text));

    SimFault fault;
    fault.kind = syntax->kind;
    std::optional<int> first;
    switch (syntax->shape) {
    case ArgumentShape::None:
        return fault;
    case ArgumentShape::Address:
        first = ParseNumber(parts[1], 10, 0, 255);
        break;
    case ArgumentShape::Count:
        first = ParseNumber(parts[1], 10, 1, 1000000);
        break;
    case ArgumentShape::Milliseconds:
        first = ParseNumber(parts[1], 10, 0, kMaxMilliseconds);
        break;
    case ArgumentShape::AddressAndMilliseconds: {
        const std::optional<int> address = ParseNumber(parts[1], 10, 0, 255);
        const std::optional<int> delay = ParseNumber(parts[2], 10, 0, kMaxMilliseconds);
        if (!address || !delay)
            return Fail(error, QStringLiteral("fault \"%1\" needs an address and milliseconds").arg(text));
        fault.address = std::uint8_t(*address);
        fault.value = *delay;
        return fault;
    }
    case ArgumentShape::Command: {
        const std::optional<int> cid2 = ParseNumber(parts[1], 16, 0, 255);
        if (!cid2)
            return Fail(error, QStringLiteral("fault \"%1\" needs a hex command code").arg(text));
        fault.cid2 = std::uint8_t(*cid2);
        return fault;
    }
    case ArgumentShape::LiveAnswerAndField: {
        const std::optional<int> cid2 = ShortValue(parts[1], kShortAnswers);
        const std::optional<int> field = ShortValue(parts[2], kShortFields);
        if (!cid2 || !field)
            return Fail(error, QStringLiteral("fault \"%1\" needs analog or alarm, then cells or temperatures").arg(text));
        fault.cid2 = std::uint8_t(*cid2);
        fault.value = *field;
        return fault;
    }
    case ArgumentShape::CommandAndCode:
    case ArgumentShape::CommandCodeAddress: {
        const std::optional<int> cid2 = ParseNumber(parts[1], 16, 0, 255);
        const std::optional<int> code = ParseNumber(parts[2], 16, 0, 255);
        if (!cid2 || !code)
            return Fail(error, QStringLiteral("fault \"%1\" needs two hex bytes").arg(text));
        fault.cid2 = std::uint8_t(*cid2);
        fault.code = std::uint8_t(*code);
        if (syntax->shape == ArgumentShape::CommandAndCode)
            return fault;
        const std::optional<int> address = ParseNumber(parts[3], 10, 1, 255);
        if (!address)
            return Fail(error, QStringLiteral("fault \"%1\" needs a pack address 1-255 last").arg(text));
        fault.address = std::uint8_t(*address);
        return fault;
    }
    case ArgumentShape::AddressAndCommand: {
        const std::optional<int> address = ParseNumber(parts[1], 10, 1, 255);
        const std::optional<int> cid2 = ParseNumber(parts[2], 16, 0, 255);
        if (!address || !cid2)
            return Fail(error, QStringLiteral("fault \"%1\" needs an address and a hex command code").arg(text));
        fault.address = std::uint8_t(*address);
        fault.cid2 = std::uint8_t(*cid2);
        return fault;
    }
    }
    if (!first)
        return Fail(error, QStringLiteral("bad number in fault \"%1\"").arg(text));
    fault.value = *first;
    return fault;
}

QString SimFaultText(const SimFault& fault)
{
    for (const FaultSyntax& row : kFaultSyntax) {
        if (row.kind != fault.kind || (row.kind == SimFaultKind::BadClock && (row.shape == ArgumentShape::None) != (fault.value == 0))
            || (row.kind == SimFaultKind::Rtn && (row.shape == ArgumentShape::CommandCodeAddress) != (fault.address != 0)))
            continue;
        const QString name = QString::fromLatin1(row.name.data(), qsizetype(row.name.size()));
        switch (row.shape) {
        case ArgumentShape::None:
            return name;
        case ArgumentShape::CommandAndCode:
            return QStringLiteral("%1:%2:%3")
                .arg(name, QString::number(fault.cid2, 16).toUpper().rightJustified(2, QLatin1Char('0')),
                     QString::number(fault.code, 16).toUpper().rightJustified(2, QLatin1Char('0')));
        case ArgumentShape::Command:
            return QStringLiteral("%1:%2").arg(name, QString::number(fault.cid2, 16).toUpper().rightJustified(2, QLatin1Char('0')));
        case ArgumentShape::LiveAnswerAndField: {
            const auto answer = std::find_if(kShortAnswers.begin(), kShortAnswers.end(),
                                             [&](const ShortName& r) { return r.value == fault.cid2; });
            const auto field = std::find_if(kShortFields.begin(), kShortFields.end(),
                                            [&](const ShortName& r) { return r.value == fault.value; });
            if (answer == kShortAnswers.end() || field == kShortFields.end())
                return QString();
            return QStringLiteral("%1:%2:%3").arg(name, QStringView(answer->name), QStringView(field->name));
        }
        case ArgumentShape::CommandCodeAddress:
            return QStringLiteral("%1:%2:%3:%4")
                .arg(name, QString::number(fault.cid2, 16).toUpper().rightJustified(2, QLatin1Char('0')),
                     QString::number(fault.code, 16).toUpper().rightJustified(2, QLatin1Char('0')))
                .arg(fault.address);
        case ArgumentShape::AddressAndCommand:
            return QStringLiteral("%1:%2:%3")
                .arg(name)
                .arg(fault.address)
                .arg(QString::number(fault.cid2, 16).toUpper().rightJustified(2, QLatin1Char('0')));
        case ArgumentShape::AddressAndMilliseconds:
            return QStringLiteral("%1:%2:%3").arg(name).arg(fault.address).arg(fault.value);
        default:
            return QStringLiteral("%1:%2").arg(name).arg(fault.value);
        }
    }
    return QString();
}
