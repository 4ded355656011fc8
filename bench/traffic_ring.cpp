// The traffic ring under a day of polling and more:
//  1. the exchanges themselves: ReadAnalogData of 16 in-process simulated
//     packs, each recorded by the protocol core, time per exchange;
//  2. memory: resident memory before the ring, after 10,000, 100,000 and
//     1,000,000 recorded exchanges (copies of those 16 exchanges, each with
//     bytes of its own as a real exchange has), and the time of one record.
// 24 hours of polling 16 packs every second or so is about 1.4 million
// exchanges; the ring keeps the last 10,000.
//
//   traffic_ring

#include "lib/sim_link.h"
#include "protocol/devoper.h"
#include "resident_memory.h"
#include "simulator_port.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    constexpr int kPacks = 16;
    SimOptions options;
    options.packs = kPacks;
    RegisterSimulatorLink(options);
    TDevOper op;
    QString error;
    if (!OpenSimulatorPort(op, error)) {
        std::fprintf(stderr, "traffic_ring: %s\n", qPrintable(error));
        return 1;
    }
    constexpr int kExchanges = 2000;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kExchanges; ++i) {
        std::uint8_t echoed = 0;
        std::array<RAnalogData, kMaxPacks> records;
        const auto address = std::uint8_t(i % kPacks + 1);
        op.ReadAnalogData(address, address, echoed, records);
    }
    const double perExchangeUs = double(clock.nsecsElapsed()) / 1000.0 / kExchanges;
    const std::vector<RTrafficRecord> samples = op.Traffic().Since(op.Traffic().LastSequence() - kPacks);
    qint64 sampleBytes = 0;
    for (const RTrafficRecord& r : samples)
        sampleBytes += r.request.size() + r.answer.size();
    std::printf("exchange through the core (ReadAnalogData, in-process packs): %.1f us each, %d recorded\n",
                perExchangeUs, kExchanges);
    std::printf("one exchange's bytes on average: %lld (request + answer)\n",
                static_cast<long long>(sampleBytes / qint64(samples.size())));

    const long baseKiB = ResidentKiB();
    TTrafficLog ring;
    constexpr long kTotal = 1000000;
    clock.restart();
    for (long i = 1; i <= kTotal; ++i) {
        RTrafficRecord r = samples[std::size_t(i % long(samples.size()))];
        r.request = QByteArray(r.request.constData(), r.request.size());
        r.answer = QByteArray(r.answer.constData(), r.answer.size());
        ring.Add(std::move(r));
        if (i == 10000 || i == 100000 || i == kTotal)
            std::printf("after %7ld recorded: %zu kept, resident %ld KiB (+%ld KiB over no ring)\n", i, ring.Size(),
                        ResidentKiB(), ResidentKiB() - baseKiB);
    }
    std::printf("one record: %.0f ns (copying its bytes included)\n", double(clock.nsecsElapsed()) / kTotal);
    clock.restart();
    const std::size_t copied = ring.Since(0).size();
    std::printf("copying the whole ring out (as the console does at first): %zu records in %.1f ms\n", copied,
                double(clock.nsecsElapsed()) / 1e6);
    return 0;
}
