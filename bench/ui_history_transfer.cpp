// How responsive the main window stays while a record page reads a log
// from a slow pack: the work-data page of one in-process simulated pack
// reads its log while a 10 ms timer on the user-interface thread measures
// how late each of its ticks comes. Two packs are timed: one that answers
// after 900 ms (past the 600 ms reply window of a record request, so every
// exchange runs its full window and the transfer ends after three missing
// answers) and one that answers after 400 ms (records arrive).
//
//   ui_history_transfer [SECONDS]        (default 15, per pack)
//
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.

#include "app/main_form.h"
#include "lib/sim_link.h"
#include "views/framepackhistory.h"
#include "views/message_boxes.h"
#include "store/history_log.h"
#include "window_bench.h"

#include <QAbstractButton>
#include <QPushButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

constexpr int kTickMs = 10;

int Run(int delayMs, int seconds)
{
    QTemporaryDir folder;
    if (!WriteSimulatorSettings(folder, "TextKind=0\nPackCount=1\nPort=1\n", "ui_history_transfer"))
        return 1;
    SimOptions options;
    options.packs = 1;
    options.recordsPerLog = 100;
    RegisterSimulatorLink(options);
    TMainForm form(folder.path());
    form.show();
    form.findChild<QAbstractButton*>(QStringLiteral("BtnCom"))->click();
    // The port rests closed for a moment before it opens.
    RunEventLoopUntil([&] { return form.IsPolling(); }, 5000);
    if (!form.IsPolling()) {
        std::fprintf(stderr, "ui_history_transfer: the port did not open\n");
        return 1;
    }
    SharedSimBus()->addFault(QStringLiteral("slow:1:%1").arg(delayMs));
    auto* page = form.findChild<TFramePackHistory*>(QStringLiteral("FramePackWorkDataInfo1"));
    form.findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setCurrentIndex(TFramePackWorkDataInfo::kPageIndex);

    LatenessProbe probe(kTickMs);
    QElapsedTimer run;
    run.start();
    probe.start();
    page->readButton()->click();
    RunEventLoopUntil([&] { return !page->Reading(); }, seconds * 1000);
    probe.stop();
    const double runSeconds = double(run.elapsed()) / 1000.0;
    std::printf("ui_history_transfer: pack answering after %d ms, %.1f s, %s, %d records\n", delayMs, runSeconds,
                page->Reading() ? "still reading" : "transfer ended", page->model()->recordCount());
    probe.print("  ");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 15;
    MessageBoxes::SetHandler([](QWidget*, const MessageBoxes::Request& request) {
        std::printf("  message \"%s\"\n", qPrintable(request.text));
        return MessageBoxes::Answer::Ok;
    });
    for (int delayMs : {900, 400})
        if (Run(delayMs, seconds) != 0)
            return 1;
    return 0;
}
