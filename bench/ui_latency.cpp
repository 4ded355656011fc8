// How responsive the main window stays while the polling thread runs: the
// window polls 16 in-process simulated packs with "Auto" and a 10 ms timer
// on the user-interface thread measures how late each of its ticks comes.
// Reports the median, 99th percentile and largest lateness, and the cycle
// time per pack (two exchanges each under "Auto").
//
//   ui_latency [SECONDS]        (default 60)
//
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.

#include "app/main_form.h"
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
#include <vector>

namespace {

constexpr int kPacks = 16;
constexpr int kTickMs = 10;
// Every visit of a pack under "Auto" sends analog and alarm requests.
constexpr int kAnswersPerPack = 2;

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
    form.findChild<QAbstractButton*>(QStringLiteral("BtnCom"))->click();
    if (!form.IsPolling()) {
        std::fprintf(stderr, "ui_latency: the port did not open\n");
        return 1;
    }

    LatenessProbe probe(kTickMs);

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
    const double runSeconds = double(run.elapsed()) / 1000.0;
    const qint64 answers = SharedSimBus()->answerCount() - answersBefore;

    QElapsedTimer closing;
    closing.start();
    form.close();
    const qint64 closingMs = closing.elapsed();

    const double packVisits = double(answers) / kAnswersPerPack;
    const double cycleMsPerPack = packVisits > 0 ? runSeconds * 1000.0 / packVisits : 0;
    std::printf("ui_latency: %d packs, \"Auto\", %.1f s\n", kPacks, runSeconds);
    probe.print("  ");
    std::printf("  answers %lld, cycle time per pack %.1f ms, full pass over %d packs %.2f s\n",
                static_cast<long long>(answers), cycleMsPerPack, kPacks, cycleMsPerPack * kPacks / 1000.0);
    std::printf("  closing the window took %lld ms\n", static_cast<long long>(closingMs));
    return 0;
}
