// How responsive the main window stays while the polling thread runs: the
// window polls 16 in-process simulated packs with "Auto" and a 10 ms timer
// on the user-interface thread measures how late each of its ticks comes.
// Reports the median, 99th percentile and largest lateness, and the cycle
// time per pack (two exchanges each under "Auto"). Before polling starts it
// fills the reading history of all 16 packs with a day of one reading a
// second and reports its memory and the cost of one filed reading; after
// the first measurement it opens the chart window (pack 01, every reading
// in view) and measures again.
//
//   ui_latency [SECONDS]        (default 60 for each measurement)
//
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.

#include "app/app_objects.h"
#include "app/main_form.h"
#include "resident_memory.h"
#include "store/devinfo.h"
#include "views/reading_chart.h"
#include "window_bench.h"
#include "views/message_boxes.h"
#include "lib/sim_link.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

namespace {

constexpr int kPacks = 16;
constexpr int kTickMs = 10;
// Every visit of a pack under "Auto" sends analog and alarm requests.
constexpr int kAnswersPerPack = 2;

// Runs the event loop for seconds while probe measures; returns the
// answers the simulated bus gave meanwhile and the time taken.
std::pair<qint64, double> Measure(LatenessProbe& probe, int seconds)
{
    const qint64 answersBefore = SharedSimBus()->answerCount();
    QElapsedTimer run;
    run.start();
    probe.start();
    // A loop of its own: quitting the application would close the window
    // inside the measurement.
    QEventLoop measuring;
    QTimer::singleShot(seconds * 1000, &measuring, &QEventLoop::quit);
    measuring.exec();
    probe.stop();
    return {SharedSimBus()->answerCount() - answersBefore, double(run.elapsed()) / 1000.0};
}

void PrintCycle(qint64 answers, double runSeconds)
{
    const double packVisits = double(answers) / kAnswersPerPack;
    const double cycleMsPerPack = packVisits > 0 ? runSeconds * 1000.0 / packVisits : 0;
    std::printf("  answers %lld, cycle time per pack %.1f ms, full pass over %d packs %.2f s\n",
                static_cast<long long>(answers), cycleMsPerPack, kPacks, cycleMsPerPack * kPacks / 1000.0);
}

// A day of one reading a second for every pack, ending a second ago.
void FillDayOfReadings(TReadingHistory& history)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const long before = ResidentKiB();
    QElapsedTimer filling;
    filling.start();
    std::size_t filed = 0;
    for (auto second = std::int64_t(TReadingHistory::kDefaultCapacity); second >= 1; --second) {
        for (int pack = 1; pack <= kPacks; ++pack) {
            RReadingPoint point;
            point.timeMs = now - second * 1000;
            point.voltage = 520'000 + std::int32_t(second % 997);
            point.current = std::int32_t(second % 2000) - 1000;
            point.soc = std::uint8_t(second % 101);
            point.lowestCellMv = 3250;
            point.highestCellMv = std::uint16_t(3260 + second % 30);
            history.Append(std::uint8_t(pack), point);
            ++filed;
        }
    }
    const double fillNs = double(filling.nsecsElapsed());
    std::printf("reading history: %zu readings (%d packs x %zu s), %.1f MiB reserved, resident memory "
                "+%.1f MiB (target <= 64 MiB), %.0f ns per filed reading\n",
                filed, kPacks, TReadingHistory::kDefaultCapacity,
                double(history.ReservedBytes()) / (1024.0 * 1024.0), double(ResidentKiB() - before) / 1024.0,
                fillNs / double(filed));
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 60;

    QTemporaryDir folder;
    if (!WriteSimulatorSettings(folder, "TextKind=0\nPackCount=16\nPackRead=255\nPort=1\n", "ui_latency"))
        return 1;
    SimOptions options;
    options.packs = kPacks;
    RegisterSimulatorLink(options);
    MessageBoxes::SetHandler([](QWidget*, const MessageBoxes::Request& request) {
        std::fprintf(stderr, "ui_latency: message \"%s\"\n", qPrintable(request.text));
        return MessageBoxes::Answer::Ok;
    });

    TMainForm form(folder.path());
    form.show();
    // Before polling starts, so that the live readings follow the day filed.
    FillDayOfReadings(GlobalDevInfo()->Readings());
    form.findChild<QAbstractButton*>(QStringLiteral("BtnCom"))->click();
    // The port rests closed for a moment before it opens.
    RunEventLoopUntil([&] { return form.IsPolling(); }, 5000);
    if (!form.IsPolling()) {
        std::fprintf(stderr, "ui_latency: the port did not open\n");
        return 1;
    }

    LatenessProbe probe(kTickMs);
    const auto [answers, runSeconds] = Measure(probe, seconds);
    std::printf("ui_latency: %d packs, \"Auto\", %.1f s\n", kPacks, runSeconds);
    probe.print("  ");
    PrintCycle(answers, runSeconds);

    form.findChild<QAbstractButton*>(QStringLiteral("BtnChart"))->click();
    TChartWindow* chart = form.ChartWindow();
    if (!chart || !chart->isVisible()) {
        std::fprintf(stderr, "ui_latency: the chart window did not open\n");
        return 1;
    }
    LatenessProbe chartProbe(kTickMs);
    const auto [chartAnswers, chartSeconds] = Measure(chartProbe, seconds);
    std::printf("ui_latency: %d packs, \"Auto\", chart window open on pack %02d with %zu readings, %.1f s\n",
                kPacks, int(chart->PackNumber()), chart->Chart()->Points().size(), chartSeconds);
    chartProbe.print("  ");
    PrintCycle(chartAnswers, chartSeconds);

    QElapsedTimer closing;
    closing.start();
    form.close();
    const qint64 closingMs = closing.elapsed();

    std::printf("  closing the window took %lld ms\n", static_cast<long long>(closingMs));
    return 0;
}
