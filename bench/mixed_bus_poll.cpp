// A rack of sixteen packs of mixed makers behind bms-sim --pace (answers
// delivered at the wire speed): the time a scan of addresses 1-16 takes to
// find every pack's family by reads alone, then the time of a polling cycle
// (live values and alarm states of every pack, each in its family's form)
// beside the wire time of its characters (every request and answer at 10
// bits a character), which is what a perfect host would need. Goal: the
// cycle at most 1.02 times its wire time.
//
//   mixed_bus_poll [--cycles N] [--baud B] [--timeout MS]
//       (default 5 cycles, 9600 baud, the scan's reply window 700 ms)
//
// The rack: ours at 1 and 10-16, A at 2, A above 65 Ah at 3, B at 4-5, C at
// 6-7, D at 8-9.

#include "protocol/devoper.h"
#include "store/bus_scan.h"
#include "store/devinfo.h"
#include "support/sim_process.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <map>

namespace {

constexpr int kPacks = 16;
const std::map<int, const char*> kForeign = {{2, "A"}, {3, "A4"}, {4, "B"}, {5, "B"},
                                             {6, "C"}, {7, "C"}, {8, "D"}, {9, "D"}};

struct Characters {
    qint64 sent = 0;
    qint64 received = 0;
    qint64 total() const { return sent + received; }
};

Characters CharactersSoFar(TDevInfo& store)
{
    return {store.DevOper().CharactersSent(), store.DevOper().CharactersReceived()};
}

double WireMs(qint64 characters, int baud)
{
    return double(characters) * 10.0 * 1000.0 / baud;
}

// One pass over the rack; the number of reads that failed.
int PollCycle(TDevInfo& store)
{
    int failures = 0;
    for (int address = 1; address <= kPacks; ++address) {
        std::uint8_t echoed = 0;
        const auto pack = std::uint8_t(address);
        failures += store.ReadAnalogData(pack, pack, echoed) != 0 ? 1 : 0;
        failures += store.ReadAlarmData(pack, pack) != 0 ? 1 : 0;
    }
    return failures;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int cycles = 5;
    int baud = 9600;
    int windowMs = RScanRange::kDefaultWindowMs;
    const QStringList arguments = app.arguments();
    if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h"))) {
        std::printf("usage: mixed_bus_poll [--cycles N] [--baud B] [--timeout MS]\n");
        return 0;
    }
    for (qsizetype i = 1; i + 1 < arguments.size(); i += 2) {
        if (arguments[i] == QLatin1String("--cycles"))
            cycles = std::max(1, arguments[i + 1].toInt());
        else if (arguments[i] == QLatin1String("--baud"))
            baud = std::max(300, arguments[i + 1].toInt());
        else if (arguments[i] == QLatin1String("--timeout"))
            windowMs = std::clamp(arguments[i + 1].toInt(), RScanRange::kMinWindowMs, RScanRange::kMaxWindowMs);
    }
    QStringList simArguments{QStringLiteral("--pace"), QStringLiteral("--baud"), QString::number(baud)};
    for (const auto& [address, family] : kForeign)
        simArguments << QStringLiteral("--family") << QStringLiteral("%1:%2").arg(address).arg(QLatin1String(family));
    SimProcess sim(simArguments, kPacks);
    if (!sim.isReady()) {
        std::fprintf(stderr, "mixed_bus_poll: %s\n", qPrintable(sim.error()));
        return 1;
    }
    TDevInfo store;
    store.InitStore();
    if (!store.DevOper().OpenLink(sim.linkSettings(baud))) {
        std::fprintf(stderr, "mixed_bus_poll: %s\n", qPrintable(store.DevOper().LastOpenError()));
        return 1;
    }
    std::printf("mixed_bus_poll: %d packs (%zu of other makers) at %d baud against bms-sim --pace\n", kPacks,
                kForeign.size(), baud);

    // The scan: every address's family by reads alone, then its identity.
    Characters before = CharactersSoFar(store);
    QElapsedTimer timer;
    timer.start();
    // Where the scan's time goes: each address's share, with its characters.
    std::vector<std::pair<double, qint64>> perAddress;
    double lastMs = 0;
    qint64 lastCharacters = before.total();
    const std::vector<RScanEntry> entries =
        ScanBus(store, RScanRange{1, kPacks, windowMs}, [&](const RScanEntry&) {
            const double nowMs = double(timer.nsecsElapsed()) / 1e6;
            const qint64 characters = CharactersSoFar(store).total();
            perAddress.emplace_back(nowMs - lastMs, characters - lastCharacters);
            lastMs = nowMs;
            lastCharacters = characters;
            return true;
        });
    const double scanMs = double(timer.nsecsElapsed()) / 1e6;
    Characters after = CharactersSoFar(store);
    int found = 0;
    for (std::size_t k = 0; k < entries.size(); ++k) {
        const RScanEntry& entry = entries[k];
        found += entry.answered() ? 1 : 0;
        if (k < perAddress.size())
            std::printf("  address %2d (%-7s) %6.0f ms, wire time %5.0f ms\n", entry.address,
                        qPrintable(FamilyName(entry.family.family)), perAddress[k].first,
                        WireMs(perAddress[k].second, baud));
        const auto foreign = kForeign.find(entry.address);
        const QString expected = foreign == kForeign.end() ? QStringLiteral("ours")
                                                           : QString::fromLatin1(foreign->second).left(1);
        if (FamilyName(entry.family.family) != expected)
            std::printf("  address %d: found %s, is %s\n", entry.address, qPrintable(FamilyName(entry.family.family)),
                        qPrintable(expected));
    }
    std::printf("scan 1-%d           %.0f ms, %d of %d found (reply window %d ms); wire time of %lld characters %.0f ms\n",
                kPacks, scanMs, found, kPacks, windowMs, static_cast<long long>(after.total() - before.total()),
                WireMs(after.total() - before.total(), baud));

    PollCycle(store);   // warm-up: any address still to be settled
    double worst = 0;
    double sumMs = 0;
    double sumWireMs = 0;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        before = CharactersSoFar(store);
        timer.restart();
        const int failures = PollCycle(store);
        const double cycleMs = double(timer.nsecsElapsed()) / 1e6;
        after = CharactersSoFar(store);
        const double wireMs = WireMs(after.total() - before.total(), baud);
        worst = std::max(worst, cycleMs / wireMs);
        sumMs += cycleMs;
        sumWireMs += wireMs;
        std::printf("cycle %d             %.0f ms, %d failed reads; %lld sent, %lld received, wire time %.0f ms; %.3fx\n",
                    cycle + 1, cycleMs, failures, static_cast<long long>(after.sent - before.sent),
                    static_cast<long long>(after.received - before.received), wireMs, cycleMs / wireMs);
    }
    std::printf("mean cycle          %.0f ms against %.0f ms on the wire: %.3fx, worst %.3fx (goal <= 1.02x)\n",
                sumMs / cycles, sumWireMs / cycles, sumMs / sumWireMs, worst);
    store.CloseSerial(1);
    return 0;
}
