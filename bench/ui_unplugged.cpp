// The window's CPU use while the adapter is gone: bms-sim on a
// pseudo-terminal behind COM1, the port opened and polled, then bms-sim
// stopped (the terminal's master closed, as a pulled USB adapter leaves the
// device). Reports the CPU time the whole program used over the sample,
// as a share of one core, while polling and after the loss.
//
//   ui_unplugged [SECONDS]      (default 30 for each sample)
//
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.

#include "app/main_form.h"
#include "support/child_process.h"
#include "views/message_boxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>

namespace {

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void Run(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// The share of one core the program used while the event loop ran.
double CpuShare(int seconds)
{
    const double before = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    Run(seconds * 1000);
    return (CpuSeconds() - before) / (double(wall.elapsed()) / 1000.0) * 100.0;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 30;

    QTemporaryDir folder;
    if (!folder.isValid())
        return 1;
    const QString link = folder.filePath(QStringLiteral("ttyBMS-unplug"));
    const QString sim = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../sim/bms-sim"));
    ChildProcess bus;
    if (!bus.start(sim, {QStringLiteral("--packs"), QStringLiteral("1"), QStringLiteral("--link"), link})
        || !bus.waitForLine(10000)) {
        std::fprintf(stderr, "ui_unplugged: %s did not start\n", qPrintable(sim));
        return 1;
    }
    QFile ini(folder.filePath(QStringLiteral("BMS.ini")));
    if (!ini.open(QIODevice::WriteOnly))
        return 1;
    ini.write(QStringLiteral("[Ports]\nCOM1=%1\n\n[BMS]\nTextKind=1\nPackCount=1\nPort=1\n").arg(link).toUtf8());
    ini.close();
    MessageBoxes::SetHandler([](QWidget*, const MessageBoxes::Request& request) {
        std::fprintf(stderr, "ui_unplugged: message \"%s\"\n", qPrintable(request.text));
        return MessageBoxes::Answer::Ok;
    });

    TMainForm form(folder.path());
    form.show();
    form.findChild<QAbstractButton*>(QStringLiteral("BtnCom"))->click();
    // The port rests closed for a moment before it opens.
    for (int waited = 0; !form.IsPolling() && waited < 5000; waited += 50)
        Run(50);
    if (!form.IsPolling()) {
        std::fprintf(stderr, "ui_unplugged: the port did not open\n");
        return 1;
    }
    const double polling = CpuShare(seconds);

    bus.terminate();
    QElapsedTimer gone;
    gone.start();
    while (form.IsPolling() && gone.elapsed() < 30000)
        Run(50);
    if (form.IsPolling()) {
        std::fprintf(stderr, "ui_unplugged: the window did not notice the loss\n");
        return 1;
    }
    std::printf("ui_unplugged: loss shown after %lld ms: \"%s\"\n", static_cast<long long>(gone.elapsed()),
                qPrintable(form.StatusPanelText(4)));
    const double unplugged = CpuShare(seconds);
    std::printf("  CPU while polling one pack %.2f %% of a core, while the adapter is gone %.2f %% (%d s each)\n",
                polling, unplugged, seconds);
    return 0;
}
