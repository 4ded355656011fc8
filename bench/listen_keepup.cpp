// Whether the bus listener keeps up with a master polling at 115200 baud
// without a gap. A feeder thread plays the line on the master side of a
// pseudo-terminal: analog and alarm requests to packs 1 to 16 in turn, each
// answered by the simulated packs, every character at the line's pace. The
// listener reads the other side as bmstool listen does. Prints the CPU the
// listener took (the process less the feeder's thread) and the delay from
// an answer's last character on the line to its record in the store
// (p50/p99), and whether any exchange was missed.
//
//   listen_keepup [--seconds S] [--baud B]

#include "lib/sim_bus.h"
#include "protocol/frame.h"
#include "services/settings.h"
#include "store/bus_listener.h"
#include "store/devinfo.h"
#include "store/pack_poller.h"
#include "support/pseudo_terminal.h"

#include <QCoreApplication>
#include <QStringList>

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double CpuSeconds(int who)
{
    rusage usage{};
    ::getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, std::size_t(p * double(values.size())))];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int seconds = 20;
    int baud = 115200;
    const QStringList arguments = app.arguments();
    for (qsizetype i = 1; i + 1 < arguments.size(); i += 2) {
        if (arguments[i] == QLatin1String("--seconds"))
            seconds = std::max(1, arguments[i + 1].toInt());
        else if (arguments[i] == QLatin1String("--baud"))
            baud = std::max(1200, arguments[i + 1].toInt());
    }
    PseudoTerminal line;
    if (!line.isReady()) {
        std::fprintf(stderr, "listen_keepup: no pseudo-terminal\n");
        return 1;
    }
    TDevInfo store;
    store.InitStore();
    AppGlobals globals;
    globals.PortNumber = 1;
    SilentPollView view;
    std::atomic<bool> feederDone{false};
    std::atomic<bool> stop{false};
    BusListener listener(store, globals, view, [&stop] { return stop.load(); });
    if (!store.DevOper().OpenLink(LinkSettings{line.slavePath(), baud}, 1)) {
        std::fprintf(stderr, "listen_keepup: %s\n", qPrintable(store.DevOper().LastOpenError()));
        return 1;
    }

    std::mutex lock;
    std::deque<Clock::time_point> answerEnds;   // when each answer was handed to the line, whole
    std::vector<double> delaysMs;
    std::uint64_t answered = 0;
    std::uint64_t other = 0;
    listener.SetExchangeObserver([&](const RHeardExchange& heard) {
        // Called once the answer is filed in the store.
        const Clock::time_point now = Clock::now();
        const std::lock_guard<std::mutex> guard(lock);
        if (heard.outcome != HeardOutcome::Answered) {
            ++other;
            return;
        }
        ++answered;
        if (!answerEnds.empty()) {
            delaysMs.push_back(std::chrono::duration<double, std::milli>(now - answerEnds.front()).count());
            answerEnds.pop_front();
        }
    });

    // Characters of 10 bits (start, 8 data, stop).
    const double characterUs = 10e6 / baud;
    std::uint64_t written = 0;
    double feederCpu = 0;
    std::thread feeder([&] {
        SimBus bus(SimOptions{16, 0, 1, {}});
        const Clock::time_point end = Clock::now() + std::chrono::seconds(seconds);
        Clock::time_point next = Clock::now();
        // Each frame is handed to the terminal whole once the line would
        // have carried its last character; the next one waits for that.
        const auto send = [&](const QByteArray& text, bool answer) {
            next += std::chrono::microseconds(std::int64_t(characterUs * double(text.size())));
            std::this_thread::sleep_until(next);
            if (answer) {
                const std::lock_guard<std::mutex> guard(lock);
                answerEnds.push_back(Clock::now());
            }
            line.write(text);
        };
        while (Clock::now() < end) {
            for (std::uint8_t pack = 1; pack <= 16 && Clock::now() < end; ++pack) {
                for (std::uint8_t cid2 : {0x42, 0x44}) {
                    const QByteArray request = frame::BuildFrame(pack, cid2, QByteArray(1, char(pack)));
                    const QByteArray answer = bus.respond(request).text;
                    send(request, false);
                    send(answer, true);
                    ++written;
                }
            }
        }
        feederCpu = CpuSeconds(RUSAGE_THREAD);
        feederDone = true;
    });

    const double cpuBefore = CpuSeconds(RUSAGE_SELF);
    const Clock::time_point start = Clock::now();
    Clock::time_point quietSince = Clock::now();
    while (true) {
        listener.RunPass();
        if (!feederDone)
            quietSince = Clock::now();
        else if (Clock::now() - quietSince > std::chrono::seconds(2))
            break;
    }
    feeder.join();
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double listenerCpu = CpuSeconds(RUSAGE_SELF) - cpuBefore - feederCpu;
    const RBusSummary summary = listener.Summary();
    std::printf("listen_keepup: %d s at %d baud, %llu exchanges written, %llu answered heard, %llu other outcomes, "
                "%llu bad frames, %lld bytes heard\n",
                seconds, baud, static_cast<unsigned long long>(written), static_cast<unsigned long long>(answered),
                static_cast<unsigned long long>(other), static_cast<unsigned long long>(summary.totals.BadFrames()),
                static_cast<long long>(summary.bytesHeard));
    std::printf("listener CPU: %.2f s of %.2f s wall (%.1f %% of one core)\n", listenerCpu, wall,
                100.0 * listenerCpu / wall);
    std::printf("answer's last character to the store: p50 %.2f ms, p99 %.2f ms, max %.2f ms\n",
                Percentile(delaysMs, 0.5), Percentile(delaysMs, 0.99), Percentile(delaysMs, 1.0));
    store.CloseSerial(1);
    return answered == written && other == 0 ? 0 : 1;
}
