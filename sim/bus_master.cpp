#include "bus_master.h"

#include "protocol/command_catalogue.h"
#include "protocol/frame.h"
#include "pty_server.h"
#include "sim_bus.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>

namespace {

// The read commands a master polls, under bmstool's names. The clock, the
// device information and the pack count ask with no INFO; the others name
// the pack.
struct MasterCommandName {
    std::string_view name;
    CommandId command;
    bool packNumberInfo;
};

constexpr std::array<MasterCommandName, 11> kMasterCommands = {{
    {"analog", CommandId::ReadAnalogData, true},
    {"alarm", CommandId::ReadAlarmData, true},
    {"params", CommandId::ReadParameters, true},
    {"time", CommandId::ReadDateTime, false},
    {"info", CommandId::ReadDeviceInfo, false},
    {"packs", CommandId::ReadPackQuantity, false},
    {"capacity", CommandId::ReadCapacity, true},
    {"barcode", CommandId::ReadBarCode, true},
    {"discharge", CommandId::ReadDischargeAccumulating, true},
    {"product", CommandId::ReadProductInfo, true},
    {"location", CommandId::ReadLocationInfo, true},
}};

std::optional<MasterCommand> ParseOne(QStringView word)
{
    for (const MasterCommandName& row : kMasterCommands)
        if (word.compare(QLatin1String(row.name.data(), qsizetype(row.name.size())), Qt::CaseInsensitive) == 0)
            return MasterCommand{CommandOf(row.command).cid2, row.packNumberInfo};
    if (word.startsWith(u"0x", Qt::CaseInsensitive)) {
        bool ok = false;
        const int cid2 = word.mid(2).toInt(&ok, 16);
        if (ok && cid2 >= 0 && cid2 <= 0xFF)
            return MasterCommand{std::uint8_t(cid2), true};
    }
    return std::nullopt;
}

constexpr std::uint8_t kAnalogCid2 = 0x42;
constexpr std::uint8_t kAlarmCid2 = 0x44;

} // namespace

std::optional<std::vector<MasterCommand>> ParseMasterCommands(QStringView list, QString* error)
{
    std::vector<MasterCommand> commands;
    for (QStringView word : list.split(u',')) {
        const std::optional<MasterCommand> command = ParseOne(word.trimmed());
        if (!command) {
            QStringList names;
            for (const MasterCommandName& row : kMasterCommands)
                names.append(QLatin1String(row.name.data(), qsizetype(row.name.size())));
            if (error)
                *error = QStringLiteral("unknown command \"%1\" in --commands: give %2 or a hex code such as 0x4D")
                             .arg(word.left(60), names.join(QLatin1Char(',')));
            return std::nullopt;
        }
        commands.push_back(*command);
    }
    return commands;
}

BusMaster::BusMaster(SimBus& bus, PtyServer& line, BusMasterOptions options)
    : m_bus(bus), m_line(line), m_options(std::move(options))
{
}

void BusMaster::run(int stopFd)
{
    Clock::time_point roundStart = Clock::now();
    while (m_options.rounds <= 0 || m_counts.rounds < m_options.rounds) {
        for (const auto& [address, family] : m_bus.packs()) {
            for (const MasterCommand& command : m_options.commands) {
                // Another maker's pack is asked its live values and alarm
                // states in its own form, and nothing else.
                const bool foreign = family != SimFamily::Ours;
                if (foreign && command.cid2 != kAnalogCid2 && command.cid2 != kAlarmCid2)
                    continue;
                const QByteArray request = foreign ? SimFamilyRequest(family, address, command.cid2)
                                                   : frame::BuildFrame(address, command.cid2,
                                                                       command.packNumberInfo
                                                                           ? QByteArray(1, char(address))
                                                                           : QByteArray());
                const std::optional<Clock::time_point> next = ask(request, stopFd);
                if (!next || !m_line.idleUntil(*next, stopFd))
                    return;
            }
        }
        ++m_counts.rounds;
        // A round longer than the period is followed at once, never by a burst.
        roundStart = std::max(roundStart + m_options.period, Clock::now());
        if (m_options.rounds > 0 && m_counts.rounds >= m_options.rounds)
            break;
        if (!m_line.idleUntil(roundStart, stopFd))
            return;
    }
    std::printf("rounds done %lld\n", static_cast<long long>(m_counts.rounds));
    std::fflush(stdout);
    // A moment for a listener to take the last bytes before the line goes.
    m_line.idleUntil(Clock::now() + kLingerAfterRounds, stopFd);
}

std::optional<BusMaster::Clock::time_point> BusMaster::ask(const QByteArray& request, int stopFd)
{
    ++m_counts.requests;
    const Clock::time_point requestEnd = m_line.send(request, Clock::now());
    const SimReply reply = m_bus.respond(request);
    // The master's adapter hears itself as the request goes out.
    if (!reply.echo.isEmpty())
        m_line.sendNow(reply.echo);
    // The pack hears the request only when its last character is in.
    const Clock::time_point leadEnd = m_line.send(reply.lead, requestEnd);
    if (!reply.answered())
        return requestEnd + m_options.replyWindow;
    ++m_counts.answers;
    const Clock::time_point answerStart = std::max(requestEnd + reply.delay, leadEnd);
    if (!m_line.idleUntil(answerStart, stopFd))
        return std::nullopt;
    return m_line.send(reply.text, answerStart, reply.chunkGap) + m_options.gap;
}
