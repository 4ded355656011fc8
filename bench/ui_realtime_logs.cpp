// The sixteen real-time logs under load, in the real main window:
//  1. memory: resident memory of the idle window, then with all 16 logs
//     filled to 9,999 readings each;
//  2. append cost: the time of one reading at the first rows against the
//     time at rows 9,000 and up, with the view following the newest row;
//  3. latency: the logs at 9,000 readings, page "real-time data" shown,
//     auto-scroll on, 16 in-process simulated packs polled with "Auto"; a
//     10 ms timer on the user-interface thread measures how late each tick
//     comes;
//  4. the wrap: how long the reading that finds a log full keeps the
//     user-interface thread (its 9,999 rows are saved in the background),
//     and how long until that file is written.
//
//   ui_realtime_logs [SECONDS]        (default 20)
//
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.
// Memory is read from /proc/self/status (Linux).

#include "app/main_form.h"
#include "lib/sim_link.h"
#include "resident_memory.h"
#include "window_bench.h"
#include "views/message_boxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kPacks = 16;
constexpr int kTickMs = 10;
constexpr int kRealTimePage = 2;

RAnalogData Reading(int pack, int row)
{
    RAnalogData analog;
    analog.packNumber = std::uint8_t(pack);
    analog.time = QDateTime::currentDateTime();
    analog.totalVoltage = Decimal::fromRaw(520000 + row);
    analog.current = Decimal::fromRaw(-12345);
    analog.soc = 80;
    analog.cycleCount = std::uint16_t(row);
    for (int cell = 0; cell < kMaxCells; ++cell)
        analog.cellVoltages[std::size_t(cell)] = std::uint16_t(3200 + (row + cell) % 150);
    return analog;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 20;

    QTemporaryDir folder;
    if (!WriteSimulatorSettings(folder, "TextKind=0\nPackCount=16\nPackRead=255\nPort=1\nDisplayRecord=1\nAutoSave=1\n",
                                "ui_realtime_logs"))
        return 1;
    SimOptions options;
    options.packs = kPacks;
    RegisterSimulatorLink(options);
    MessageBoxes::SetHandler([](QWidget*, const MessageBoxes::Request&) { return MessageBoxes::Answer::Ok; });

    TMainForm form(folder.path());
    form.show();
    form.findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setCurrentIndex(kRealTimePage);
    // Other pages have a "CheckBox3" of their own.
    form.findChild<QWidget*>(QStringLiteral("TabSheet3"))->findChild<QCheckBox*>(QStringLiteral("CheckBox3"))->click();
    QApplication::processEvents();
    const long idleKiB = ResidentKiB();

    // Fill every log, the view following; time the first and the last rows.
    // The memory is read with every log full; the logs then go back to
    // 9,000 readings for the latency run.
    QElapsedTimer timer;
    double firstRowsNs = 0;
    double lastRowsNs = 0;
    constexpr int kTimedRows = 500;
    for (int pack = 1; pack <= kPacks; ++pack) {
        TFrameRealTimeData* frame = form.RealTimeFrame(pack);
        for (int row = 0; row < RealtimeLogModel::kMaxRows; ++row) {
            timer.start();
            frame->AddRecord(Reading(pack, row), RAlarmData{});
            const double ns = double(timer.nsecsElapsed());
            if (row < kTimedRows)
                firstRowsNs += ns;
            else if (row >= RealtimeLogModel::kMaxRows - kTimedRows)
                lastRowsNs += ns;
            if (row % 1000 == 0)
                QApplication::processEvents();
        }
    }
    QApplication::processEvents();
    const long fullKiB = ResidentKiB();
    const double rows = double(kPacks) * RealtimeLogModel::kMaxRows;
    std::printf("ui_realtime_logs: %d logs x %d readings\n", kPacks, RealtimeLogModel::kMaxRows);
    std::printf("  resident memory: idle window %.1f MB, logs full %.1f MB, growth %.1f MB (%.0f bytes a row; "
                "target <= 64 MB)\n",
                idleKiB / 1024.0, fullKiB / 1024.0, (fullKiB - idleKiB) / 1024.0,
                (fullKiB - idleKiB) * 1024.0 / rows);
    std::printf("  one reading appended: rows 1-%d %.1f us, rows %d-%d %.1f us\n", kTimedRows,
                firstRowsNs / (kPacks * kTimedRows) / 1000.0, RealtimeLogModel::kMaxRows - kTimedRows + 1,
                RealtimeLogModel::kMaxRows, lastRowsNs / (kPacks * kTimedRows) / 1000.0);

    constexpr int kLatencyRows = 9000;
    for (int pack = 1; pack <= kPacks; ++pack) {
        TFrameRealTimeData* frame = form.RealTimeFrame(pack);
        frame->ClearRecords();
        for (int row = 0; row < kLatencyRows; ++row)
            frame->AddRecord(Reading(pack, row), RAlarmData{});
    }
    QApplication::processEvents();

    form.findChild<QAbstractButton*>(QStringLiteral("BtnCom"))->click();
    // The port rests closed for a moment before it opens.
    RunEventLoopUntil([&] { return form.IsPolling(); }, 5000);
    if (!form.IsPolling()) {
        std::fprintf(stderr, "ui_realtime_logs: the port did not open\n");
        return 1;
    }
    LatenessProbe probe(kTickMs);
    probe.start();
    QEventLoop measuring;
    QTimer::singleShot(seconds * 1000, &measuring, &QEventLoop::quit);
    measuring.exec();
    probe.stop();
    int readings = 0;
    for (int pack = 1; pack <= kPacks; ++pack)
        readings += form.RealTimeFrame(pack)->model()->readingCount() - kLatencyRows;
    std::printf("  polling 16 packs for %d s, logs from %d readings on, view following: %d readings logged\n",
                seconds, kLatencyRows, readings);
    probe.print("  ");

    // One wrap: the reading that finds the log full saves it and restarts.
    form.findChild<QAbstractButton*>(QStringLiteral("BtnCom"))->click();
    TFrameRealTimeData* frame = form.RealTimeFrame(1);
    frame->ClearRecords();
    for (int row = 0; row < RealtimeLogModel::kMaxRows; ++row)
        frame->AddRecord(Reading(1, row), RAlarmData{});
    timer.start();
    frame->AddRecord(Reading(1, 0), RAlarmData{});
    const double wrapMs = double(timer.nsecsElapsed()) / 1e6;
    frame->AutoSaveRecords();   // waits for the background save
    std::printf("  the reading that wraps a full log: %.1f ms on the user-interface thread; the 9,999 rows were "
                "written in the background within %.1f ms\n",
                wrapMs, double(timer.nsecsElapsed()) / 1e6);
    form.close();
    return 0;
}
