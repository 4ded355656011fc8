// The service report's figures.
//  1. Reading 16 packs for a report without logs at 9600 baud against
//     bms-sim --pace, set against the time the characters need on the line;
//     then drawing and writing the PDF alone.
//  2. How late the window's event loop runs while its report dialog reads
//     16 in-process simulated packs (polling with "Auto" meanwhile) and
//     writes the report, measured by a 10 ms timer.
//
//   ui_report [BAUD]        (default 9600)
//
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.

#include "app/app_objects.h"
#include "app/main_form.h"
#include "lib/sim_link.h"
#include "report/report_writer.h"
#include "services/textoper.h"
#include "store/bus_worker.h"
#include "store/devinfo.h"
#include "store/report_data.h"
#include "support/sim_process.h"
#include "views/message_boxes.h"
#include "views/report_form.h"
#include "window_bench.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <numeric>

namespace {

constexpr int kPacks = 16;
constexpr int kTickMs = 10;

int ReadingAndRendering(int baud, const QTemporaryDir& folder)
{
    SimProcess sim({QStringLiteral("--pace"), QStringLiteral("--baud"), QString::number(baud)}, kPacks);
    if (!sim.isReady()) {
        std::fprintf(stderr, "ui_report: %s\n", qPrintable(sim.error()));
        return 1;
    }
    TDevInfo store;
    store.InitStore();
    if (!store.DevOper().OpenLink(sim.linkSettings(baud))) {
        std::fprintf(stderr, "ui_report: %s\n", qPrintable(store.DevOper().LastOpenError()));
        return 1;
    }
    std::uint8_t echoed = 0;
    store.ReadAnalogData(1, 1, echoed);   // warm-up: the port's thread, the first read

    RReportRequest request;
    request.packs.resize(kPacks);
    std::iota(request.packs.begin(), request.packs.end(), std::uint8_t(1));
    request.withLogs = false;
    const qint64 sentBefore = store.DevOper().CharactersSent();
    const qint64 receivedBefore = store.DevOper().CharactersReceived();
    QElapsedTimer reading;
    reading.start();
    const RReport report = GatherReport(store, request, RBusControl{});
    const double readMs = double(reading.nsecsElapsed()) / 1e6;
    const qint64 characters = store.DevOper().CharactersSent() - sentBefore + store.DevOper().CharactersReceived()
        - receivedBefore;
    store.CloseSerial(1);
    int answered = 0;
    for (const RPackReport& pack : report.packs)
        answered += pack.answered ? 1 : 0;
    // 10 bits per character: start bit, 8 data bits, stop bit.
    const double wireMs = double(characters) * 10.0 * 1000.0 / baud;
    std::printf("ui_report: reading %d packs without logs at %d baud (bms-sim --pace), %d answered\n", kPacks, baud,
                answered);
    std::printf("  characters %lld, wire time %.0f ms, reading took %.0f ms, ratio %.3f (target <= 1.3)\n",
                static_cast<long long>(characters), wireMs, readMs, readMs / wireMs);

    QElapsedTimer rendering;
    rendering.start();
    QString error;
    const bool written = WriteReport(report, {folder.filePath(QStringLiteral("bench.pdf")),
                                              folder.filePath(QStringLiteral("bench.html"))},
                                     TTextOper(), &error);
    std::printf("  rendering and writing the PDF and the HTML file: %.0f ms (target <= 2000 ms)%s\n",
                double(rendering.nsecsElapsed()) / 1e6, written ? "" : qPrintable(QStringLiteral(", failed: ") + error));
    return answered == kPacks && written ? 0 : 1;
}

int WindowLateness(const QTemporaryDir& folder)
{
    if (!WriteSimulatorSettings(folder, "TextKind=1\nPackCount=16\nPackRead=255\nPort=1\n", "ui_report"))
        return 1;
    SimOptions options;
    options.packs = kPacks;
    RegisterSimulatorLink(options);
    MessageBoxes::SetHandler([](QWidget*, const MessageBoxes::Request& request) {
        std::fprintf(stderr, "ui_report: message \"%s\"\n", qPrintable(request.text));
        return MessageBoxes::Answer::Ok;
    });
    TMainForm form(folder.path());
    form.show();
    form.findChild<QAbstractButton*>(QStringLiteral("BtnCom"))->click();
    // The port rests closed for a moment before it opens.
    RunEventLoopUntil([&] { return form.IsPolling(); }, 5000);
    if (!form.IsPolling()) {
        std::fprintf(stderr, "ui_report: the port did not open\n");
        return 1;
    }
    TReportForm dialog(*GlobalDevInfo(), kPacks, &form);
    dialog.EditPacks->setText(QStringLiteral("all"));
    dialog.EditPdf->setText(folder.filePath(QStringLiteral("window.pdf")));
    dialog.CheckLogs->setChecked(true);
    dialog.show();

    LatenessProbe probe(kTickMs);
    QElapsedTimer run;
    run.start();
    probe.start();
    dialog.BtnMakeClick();
    constexpr int kLongestMs = 600000;
    RunEventLoopUntil([&] { return !dialog.IsRunning(); }, kLongestMs);
    probe.stop();
    std::printf("ui_report: the window's report of %d packs with their logs while polling \"Auto\": %.1f s\n", kPacks,
                double(run.elapsed()) / 1000.0);
    probe.print("  ");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int baud = argc > 1 ? std::max(300, QString::fromLocal8Bit(argv[1]).toInt()) : 9600;
    QTemporaryDir folder;
    if (!folder.isValid())
        return 1;
    TTextOper().SetLanguage(TTextOper::English);
    const int reading = ReadingAndRendering(baud, folder);
    const int window = WindowLateness(folder);
    return reading != 0 ? reading : window;
}
