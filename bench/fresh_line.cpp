// Times what a freshly opened line costs before its first request: the
// look for characters still on their way (another program's late answer)
// on a quiet line, as every bmstool run pays it once. Opens bms-sim's
// pseudo-terminal (or its TCP port with --via tcp) again and again and
// times the wait alone.
//
//   fresh_line [--opens N] [--via pty|tcp]

#include "protocol/link.h"
#include "support/sim_process.h"

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int opens = 30;
    bool viaTcp = false;
    const QStringList arguments = app.arguments();
    for (qsizetype i = 1; i + 1 < arguments.size(); i += 2) {
        if (arguments[i] == QLatin1String("--opens"))
            opens = std::max(1, arguments[i + 1].toInt());
        else if (arguments[i] == QLatin1String("--via"))
            viaTcp = arguments[i + 1] == QLatin1String("tcp");
    }
    SimProcess sim({}, 1, viaTcp ? 0 : -1);
    if (!sim.isReady()) {
        std::fprintf(stderr, "fresh_line: %s\n", qPrintable(sim.error()));
        return 1;
    }
    // The analog request's reply window to address 1: the most the wait
    // may take when characters keep arriving.
    constexpr std::chrono::milliseconds kWindow{800};
    std::vector<double> costs;
    for (int i = 0; i < opens; ++i) {
        const std::unique_ptr<ILink> link = LinkRegistry::Create(sim.linkSettings());
        QString error;
        if (!link->open(&error)) {
            std::fprintf(stderr, "fresh_line: %s\n", qPrintable(error));
            return 1;
        }
        const auto start = std::chrono::steady_clock::now();
        link->awaitQuiet(kWindow);
        costs.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        link->close();
    }
    std::sort(costs.begin(), costs.end());
    std::printf("link              %s\n", qPrintable(sim.linkPath()));
    std::printf("opens             %d\n", opens);
    std::printf("quiet-line wait   min %.1f ms, median %.1f ms, max %.1f ms (must stay under 20 ms)\n",
                costs.front(), costs[costs.size() / 2], costs.back());
    return 0;
}
