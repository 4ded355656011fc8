// How responsive the main window stays while the polling thread runs: the
// window polls 16 in-process simulated packs with "Auto" and a 10 ms timer
// on the user-interface thread measures how late each of its ticks comes.
// Reports the median, 99th percentile and largest lateness, and the cycle
// time per pack (two exchanges each under "Auto"). Before polling starts it
// fills the reading history of all 16 packs with a day of one reading a
// second and reports its memory and the cost of one filed reading; after
// the first measurement it opens the chart window (pack 01, every reading
// in view) and measures again. Last, with every pack answering 0.8 s late,
// it measures the lateness while each kind of page command runs: parameter
// read and write, a configuration write, deleting a log and a calibration.
//
//   ui_latency [SECONDS]        (default 60 for each measurement)
//
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.

#include "app/app_objects.h"
#include "app/main_form.h"
#include "resident_memory.h"
#include "services/password_store.h"
#include "store/devinfo.h"
#include "views/framepackconfig.h"
#include "views/framepackparameter.h"
#include "views/reading_chart.h"
#include "window_bench.h"
#include "views/message_boxes.h"
#include "lib/sim_link.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
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

// How late the pack answers while the page commands are measured.
constexpr int kLateAnswerMs = 800;

// Runs one page command while a probe measures, until the page has shown
// its result.
template <typename Page>
void MeasureCommand(const char* name, const Page& page, const std::function<void()>& click)
{
    LatenessProbe probe(kTickMs);
    QElapsedTimer took;
    took.start();
    probe.start();
    click();
    QEventLoop waiting;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &waiting, [&page, &waiting] {
        if (!page.IsBusy())
            waiting.quit();
    });
    check.start(5);
    waiting.exec();
    probe.stop();
    std::printf("  %s: %.2f s\n", name, double(took.elapsed()) / 1000.0);
    probe.print("    ");
}

void MeasurePageCommands(TMainForm& form)
{
    auto* pages = form.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
    auto* parameters = form.findChild<TFramePackParameter*>(QStringLiteral("FramePackParameter1"));
    auto* config = form.findChild<TFramePackConfig*>(QStringLiteral("FramePackConfig1"));
    if (!pages || !parameters || !config) {
        std::fprintf(stderr, "ui_latency: the command pages were not found\n");
        return;
    }
    // Pack 01 in focus, the password typed; polling idles on these pages.
    form.findChild<QLineEdit*>(QStringLiteral("Edit1"))->setText(QString::fromLatin1(kDefaultPassword));
    SharedSimBus()->addFault(QStringLiteral("delay:%1").arg(kLateAnswerMs));
    std::printf("ui_latency: page commands, every answer %d ms late\n", kLateAnswerMs);

    pages->setCurrentIndex(4);
    MeasureCommand("parameter read", *parameters, [parameters] { parameters->BtnReadParameterClick(); });
    MeasureCommand("parameter write (verified)", *parameters, [parameters] { parameters->BtnWriteParameterClick(); });

    pages->setCurrentIndex(5);
    config->findChild<QLineEdit*>(QStringLiteral("Edit5"))->setText(QStringLiteral("12"));
    MeasureCommand("configuration write (cycle count)", *config, [config] { config->BtnWriteCycleTimeClick(); });
    MeasureCommand("deleting the alarm log", *config, [config] { config->BtnDeleteAlarmClick(); });
    MeasureCommand("calibration read", *config, [config] { config->ReadCalibrationItem(1, false); });
    MeasureCommand("calibration (pack voltage, then read back)", *config, [config] { config->BtnCalibrationClick(1); });
    SharedSimBus()->clearFaults();
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

    MeasurePageCommands(form);

    QElapsedTimer closing;
    closing.start();
    form.close();
    const qint64 closingMs = closing.elapsed();

    std::printf("  closing the window took %lld ms\n", static_cast<long long>(closingMs));
    return 0;
}
