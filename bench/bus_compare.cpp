// Reading the parameter sets of a whole rack for the compare, against
// bms-sim --pace (answers delivered at the wire speed) on a pseudo-terminal:
// the time the job takes beside the wire time of its characters (every
// request and answer at 10 bits a character), which is what a perfect host
// would need. Target: at most 1.2 times the wire time.
//
//   bus_compare [--packs N] [--baud B] [--runs R]     (default 16 packs, 9600 baud, 3 runs)

#include "store/bus_jobs.h"
#include "store/devinfo.h"
#include "support/sim_process.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <algorithm>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int packs = 16;
    int baud = 9600;
    int runs = 3;
    const QStringList arguments = app.arguments();
    for (qsizetype i = 1; i + 1 < arguments.size(); i += 2) {
        if (arguments[i] == QLatin1String("--packs"))
            packs = std::clamp(arguments[i + 1].toInt(), 1, 16);
        else if (arguments[i] == QLatin1String("--baud"))
            baud = std::max(300, arguments[i + 1].toInt());
        else if (arguments[i] == QLatin1String("--runs"))
            runs = std::max(1, arguments[i + 1].toInt());
    }
    SimProcess sim({QStringLiteral("--pace"), QStringLiteral("--baud"), QString::number(baud)}, packs);
    if (!sim.isReady()) {
        std::fprintf(stderr, "bus_compare: %s\n", qPrintable(sim.error()));
        return 1;
    }
    TDevInfo store;
    store.InitStore();
    if (!store.DevOper().OpenLink(sim.linkSettings(baud))) {
        std::fprintf(stderr, "bus_compare: %s\n", qPrintable(store.DevOper().LastOpenError()));
        return 1;
    }
    std::vector<std::uint8_t> list;
    for (int pack = 1; pack <= packs; ++pack)
        list.push_back(std::uint8_t(pack));
    ReadParameterSets(store, {1}, {});   // warm-up: the port's first exchange

    std::printf("bus_compare: %d packs at %d baud against bms-sim --pace, %d runs\n", packs, baud, runs);
    double worst = 0;
    for (int run = 0; run < runs; ++run) {
        const qint64 sentBefore = store.DevOper().CharactersSent();
        const qint64 receivedBefore = store.DevOper().CharactersReceived();
        QElapsedTimer timer;
        timer.start();
        const RParameterSets sets = ReadParameterSets(store, list, {});
        const double elapsedMs = double(timer.nsecsElapsed()) / 1e6;
        const qint64 characters = store.DevOper().CharactersSent() - sentBefore
            + store.DevOper().CharactersReceived() - receivedBefore;
        const double wireMs = double(characters) * 10.0 * 1000.0 / baud;
        const double ratio = elapsedMs / wireMs;
        worst = std::max(worst, ratio);
        std::printf("  run %d: %zu of %d sets read in %.0f ms; wire time of %lld characters %.0f ms; %.3fx\n", run + 1,
                    sets.packs.size() - sets.failed().size(), packs, elapsedMs, static_cast<long long>(characters),
                    wireMs, ratio);
    }
    std::printf("  worst %.3fx the wire time (target <= 1.2x)\n", worst);
    store.CloseSerial(1);
    return 0;
}
