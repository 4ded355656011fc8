// How responsive the main window stays while the compare window reads the
// parameter sets of 16 in-process simulated packs and then writes the
// reference to the other 15 (read, write, read back on each): a 10 ms timer
// on the user-interface thread measures how late each of its ticks comes.
// Every answer comes 60 ms late, as over a slow line, so the job runs for
// seconds. Target: p99 at most 50 ms.
//
//   ui_bus_batch [DELAY_MS]        (default 60)
//
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.

#include "app/app_objects.h"
#include "app/main_form.h"
#include "lib/sim_link.h"
#include "services/settings.h"
#include "views/bus_summary_form.h"
#include "views/compare_form.h"
#include "views/message_boxes.h"
#include "views/modal_run.h"
#include "window_bench.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

#include <cstdio>

namespace {

constexpr int kTickMs = 10;

// Runs the event loop until the form's job has ended.
void WaitForJob(TCompareForm& form)
{
    QEventLoop loop;
    QObject::connect(&form, &TCompareForm::jobDone, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int delayMs = argc > 1 ? std::max(0, QString::fromLocal8Bit(argv[1]).toInt()) : 60;
    MessageBoxes::SetHandler([](QWidget*, const MessageBoxes::Request&) { return MessageBoxes::Answer::Ok; });
    int summaryRows = 0;
    TModalRun<TBusSummaryForm>::SetHook([&summaryRows](TBusSummaryForm& summary) {
        summaryRows = summary.findChild<QTableWidget*>(QStringLiteral("GridSummary"))->rowCount();
    });

    QTemporaryDir folder;
    if (!WriteSimulatorSettings(folder, "TextKind=1\nPackCount=16\nPort=1\n", "ui_bus_batch"))
        return 1;
    SimOptions options;
    options.packs = 16;
    RegisterSimulatorLink(options);
    TMainForm window(folder.path());
    window.show();
    window.findChild<QAbstractButton*>(QStringLiteral("BtnCom"))->click();
    // The port rests closed for a moment before it opens.
    RunEventLoopUntil([&] { return window.IsPolling(); }, 5000);
    if (!window.IsPolling()) {
        std::fprintf(stderr, "ui_bus_batch: the port did not open\n");
        return 1;
    }
    SharedSimBus()->addFault(QStringLiteral("delay:%1").arg(delayMs));
    Globals().PasswordOk = true;

    TCompareForm form(*GlobalDevInfo(), &window);
    form.show();
    LatenessProbe probe(kTickMs);
    QElapsedTimer run;
    run.start();
    probe.start();
    form.findChild<QPushButton*>(QStringLiteral("BtnReadPacks"))->click();
    WaitForJob(form);
    const double readSeconds = double(run.restart()) / 1000.0;
    form.findChild<QPushButton*>(QStringLiteral("BtnWriteToPacks"))->click();
    WaitForJob(form);
    const double writeSeconds = double(run.elapsed()) / 1000.0;
    probe.stop();
    std::printf("ui_bus_batch: 16 packs answering %d ms late: read %zu sets in %.1f s, wrote %zu packs in %.1f s "
                "(%s), summary of %d rows\n",
                delayMs, form.Sets().packs.size(), readSeconds,
                form.LastReport() ? form.LastReport()->packs.size() : 0, writeSeconds,
                form.LastReport() && form.LastReport()->allWritten() ? "all verified" : "NOT all verified",
                summaryRows);
    probe.print("  ");
    return 0;
}
