// bms-sim: simulated battery packs on a pseudo-terminal.
//
//   bms-sim --packs N (--link PATH | --tcp PORT) [--baud B] [--pace]
//           [--records N] [--seed S] [--fault MODE]... [--family ADR:FAMILY]...
//           [--requests FILE]
//
// --requests FILE writes, at exit, every well-formed request the bus heard,
// by address and command, as JSON: {"2": {"family": "A", "requests":
// {"42": 5, ...}}, ...} (CID2 in hex; "family" is "none" where no pack is).
//
// --family puts a pack of another maker's family at ADR (ours, A, A4, B, C
// or D; A4 is family A above 65 Ah), in place of ours where --packs gave one.
//
// Prints PATH (or tcp://127.0.0.1:PORT) on its own line once clients can
// open it, and serves until SIGINT or SIGTERM, then removes the link. With
// --tcp the bus is served on a TCP port of 127.0.0.1, raw, as an RS485
// gateway serves it; port 0 lets the system pick one.
//
//   bms-sim --packs N --master PERIOD_MS [--commands LIST] [--rounds N]
//           [--timeout MS] [--stats FILE] (--link PATH | --tcp PORT) ...
//
// Plays the master instead, as an inverter does: polls its own packs every
// PERIOD_MS and writes both directions to the line for a listener; with
// --rounds it ends after N rounds (the line stays a second longer), else at
// SIGINT or SIGTERM. --timeout is the master's reply window: how long it
// waits for a silent pack before it asks the next one. What the
// listener writes is counted, never answered: "listener wrote N bytes" on
// standard error at exit, and in FILE as JSON.

#include "bus_master.h"
#include "pty_server.h"
#include "sim_bus.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

int g_stopPipe[2] = {-1, -1};

void OnStopSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(g_stopPipe[1], &byte, 1);
}

void PrintUsage()
{
    std::fputs("usage: bms-sim --packs N (--link PATH | --tcp PORT) [--baud B] [--pace] [--records N]\n"
               "               [--seed S] [--fault MODE]... [--family ADR:FAMILY]... [--requests FILE]\n"
               "       bms-sim --packs N --master PERIOD_MS [--commands analog,alarm,...] [--rounds N]\n"
               "               [--timeout MS] [--stats FILE] (--link PATH | --tcp PORT) [--pace] [--fault MODE]...\n"
               "faults: silent:ADDR noise badsum:N truncate:N wrongaddr:N rtn:CID2:CODE[:ADDR] cut:ADDR:CID2 delay:MS\n"
               "        slow:ADDR:MS glitch stutter garbage badclock[:MONTH] answeras:CID2 echo chunks:MS\n"
               "        short:analog|alarm:cells|temperatures\n"
               "families: ours (1-16), A and A4 (2-255), B, C and D (0-15)\n",
               stderr);
}

int Fail(const QString& message)
{
    std::fprintf(stderr, "bms-sim: %s\n", qPrintable(message));
    return 2;
}

int UsageError(const QString& message)
{
    PrintUsage();
    return Fail(message);
}

bool ParseInt(const QString& text, int minimum, int maximum, int& out)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < minimum || value > maximum)
        return false;
    out = value;
    return true;
}

// The master's counts and what the listener wrote, as JSON.
bool WriteStats(const QString& path, const BusMasterCounts& counts, const PtyServer& server)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QJsonObject stats{{QStringLiteral("rounds"), counts.rounds},
                            {QStringLiteral("requests"), counts.requests},
                            {QStringLiteral("answers"), counts.answers},
                            {QStringLiteral("listener_bytes"), server.clientBytes()},
                            {QStringLiteral("dropped_bytes"), server.droppedBytes()}};
    return file.write(QJsonDocument(stats).toJson(QJsonDocument::Compact)) >= 0 && file.flush();
}

// The requests each address heard, by command, as JSON.
bool WriteRequests(const QString& path, const SimBus& bus)
{
    QJsonObject packs;
    for (const auto& [key, count] : bus.requestCounts()) {
        const QString address = QString::number(key.first);
        QJsonObject pack = packs.value(address).toObject();
        if (pack.isEmpty()) {
            const std::optional<SimFamily> family = bus.familyAt(key.first);
            pack.insert(QStringLiteral("family"), family ? SimFamilyName(*family) : QStringLiteral("none"));
        }
        QJsonObject requests = pack.value(QStringLiteral("requests")).toObject();
        requests.insert(QStringLiteral("%1").arg(key.second, 2, 16, QLatin1Char('0')).toUpper(), count);
        pack.insert(QStringLiteral("requests"), requests);
        packs.insert(address, pack);
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(QJsonDocument(packs).toJson(QJsonDocument::Compact)) >= 0 && file.flush();
}

} // namespace

int main(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));

    SimOptions options;
    PtyServerOptions serverOptions;
    bool masterMode = false;
    bool masterOptionGiven = false;
    BusMasterOptions masterOptions;
    masterOptions.commands = *ParseMasterCommands(u"analog,alarm", nullptr);
    QString statsPath;
    QString requestsPath;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& name = arguments[i];
        if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
            PrintUsage();
            return 0;
        }
        if (name == QLatin1String("--pace")) {
            serverOptions.pace = true;
            continue;
        }
        if (i + 1 >= arguments.size())
            return UsageError(QStringLiteral("%1 needs a value").arg(name));
        const QString value = arguments[++i];
        masterOptionGiven = masterOptionGiven
            || QStringList{"--commands", "--rounds", "--timeout", "--stats"}.contains(name);
        int number = 0;
        if (name == QLatin1String("--packs") && ParseInt(value, 1, SimOptions::kMaxPacks, number)) {
            options.packs = number;
        } else if (name == QLatin1String("--link")) {
            serverOptions.linkPath = value;
        } else if (name == QLatin1String("--tcp") && ParseInt(value, 0, 65535, number)) {
            serverOptions.tcpPort = number;
        } else if (name == QLatin1String("--baud") && ParseInt(value, 50, 4000000, number)) {
            serverOptions.baudRate = number;
        } else if (name == QLatin1String("--records") && ParseInt(value, 0, 100000, number)) {
            options.recordsPerLog = number;
        } else if (name == QLatin1String("--seed") && ParseInt(value, 0, 0x7FFFFFFF, number)) {
            options.seed = std::uint32_t(number);
        } else if (name == QLatin1String("--master") && ParseInt(value, 1, 3600000, number)) {
            masterOptions.period = std::chrono::milliseconds(number);
            masterMode = true;
        } else if (name == QLatin1String("--commands")) {
            QString error;
            const auto commands = ParseMasterCommands(value, &error);
            if (!commands)
                return UsageError(error);
            masterOptions.commands = *commands;
        } else if (name == QLatin1String("--rounds") && ParseInt(value, 1, 100000000, number)) {
            masterOptions.rounds = number;
        } else if (name == QLatin1String("--timeout") && ParseInt(value, 1, 60000, number)) {
            masterOptions.replyWindow = std::chrono::milliseconds(number);
        } else if (name == QLatin1String("--stats")) {
            statsPath = value;
        } else if (name == QLatin1String("--fault")) {
            QString error;
            const std::optional<SimFault> fault = ParseSimFault(value, &error);
            if (!fault)
                return Fail(error);
            options.faults.push_back(*fault);
        } else if (name == QLatin1String("--requests")) {
            requestsPath = value;
        } else if (name == QLatin1String("--family")) {
            QString error;
            const std::optional<SimFamilyPlace> place = ParseSimFamilyPlace(value, &error);
            if (!place)
                return UsageError(error);
            options.families[place->address] = place->family;
        } else {
            return UsageError(QStringLiteral("bad argument %1 %2").arg(name, value));
        }
    }
    if (serverOptions.linkPath.isEmpty() == (serverOptions.tcpPort < 0))
        return UsageError(QStringLiteral("give one of --link and --tcp"));

    if (masterOptionGiven && !masterMode)
        return UsageError(QStringLiteral("--commands, --rounds, --timeout and --stats need --master"));
    serverOptions.dropWhenFull = masterMode;

    if (::pipe(g_stopPipe) != 0)
        return Fail(QStringLiteral("cannot create a pipe"));
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);

    SimBus bus(options);
    PtyServer server(bus, serverOptions);
    QString error;
    if (!server.open(&error))
        return Fail(error);
    std::printf("%s\n", qPrintable(server.address()));
    std::fflush(stdout);
    const auto writeRequests = [&] {
        return requestsPath.isEmpty() || WriteRequests(requestsPath, bus)
            ? 0
            : Fail(QStringLiteral("cannot write %1").arg(requestsPath));
    };
    if (!masterMode) {
        server.serve(g_stopPipe[0]);
        return writeRequests();
    }
    BusMaster busMaster(bus, server, masterOptions);
    busMaster.run(g_stopPipe[0]);
    server.drainClient();
    std::fprintf(stderr, "bms-sim: listener wrote %lld bytes\n", static_cast<long long>(server.clientBytes()));
    if (!statsPath.isEmpty() && !WriteStats(statsPath, busMaster.counts(), server))
        return Fail(QStringLiteral("cannot write %1").arg(statsPath));
    return writeRequests();
}
