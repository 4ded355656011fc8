// What saving a full real-time log costs: a log of 9,999 readings written
// by the CSV writer (cells formatted from the records, quoted where needed,
// temporary file renamed into place) against a plain write of the same
// bytes into a file, and against that raw write followed by the same flush
// to disk the writer makes before the file takes its final name. Prints the
// median of several runs of each.
//
//   csv_save [RUNS]        (default 7)

#include "store/devinfo.h"
#include "store/realtime_log.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

RAnalogData Reading(int row)
{
    RAnalogData analog;
    analog.packNumber = 7;
    analog.time = QDateTime::currentDateTime().addSecs(row);
    analog.totalVoltage = Decimal::fromRaw(520000 + row);
    analog.current = Decimal::fromRaw(-12345 - row);
    analog.soc = std::uint8_t(row % 101);
    analog.soh = 99;
    analog.remainingCapacity = Decimal::fromRaw(875000 + row);
    analog.fullCapacity = Decimal::fromInt(100);
    analog.cycleCount = std::uint16_t(row);
    for (int cell = 0; cell < kMaxCells; ++cell)
        analog.cellVoltages[std::size_t(cell)] = std::uint16_t(3200 + (row + cell * 7) % 150);
    for (auto& temperature : analog.cellTemperatures)
        temperature = Decimal::fromRaw(251000 + row % 100);
    analog.ambientTemperature = Decimal::fromRaw(230000);
    analog.fetTemperature = Decimal::fromRaw(280000);
    analog.balancing[std::size_t(row % kMaxCells)] = 1;
    return analog;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 7;
    QTemporaryDir folder;
    TDevInfo store;
    RealtimeLogModel log(store);
    log.applyLanguage(store.TextOper());
    RAlarmData alarm;
    alarm.status[0] = 0x48;
    for (int row = 0; row < RealtimeLogModel::kMaxRows; ++row)
        log.addReading(Reading(row), alarm);

    const QString saved = folder.filePath(QStringLiteral("log.csv"));
    const QString raw = folder.filePath(QStringLiteral("raw.csv"));
    std::vector<double> saveMs;
    std::vector<double> rawMs;
    std::vector<double> syncedMs;
    QByteArray bytes;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        if (!WriteCsvFile(saved, log.csvLineCount(), [&log](int line) { return log.csvLine(line); })) {
            std::fprintf(stderr, "csv_save: the log was not written\n");
            return 1;
        }
        saveMs.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (bytes.isEmpty()) {
            QFile file(saved);
            file.open(QIODevice::ReadOnly);
            bytes = file.readAll();
        }
        timer.restart();
        QFile file(raw);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
            std::fprintf(stderr, "csv_save: the raw file was not written\n");
            return 1;
        }
        file.close();
        rawMs.push_back(double(timer.nsecsElapsed()) / 1e6);

        timer.restart();
        QFile synced(raw);
        if (!synced.open(QIODevice::WriteOnly | QIODevice::Truncate) || synced.write(bytes) != bytes.size()
            || !synced.flush()) {
            std::fprintf(stderr, "csv_save: the raw file was not written\n");
            return 1;
        }
#ifdef Q_OS_UNIX
        ::fdatasync(synced.handle());
#endif
        synced.close();
        syncedMs.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    // Where the writer's time goes: the cells alone, and the cells turned
    // into CSV lines in the file's encoding.
    std::vector<double> cellsMs;
    std::vector<double> linesMs;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        qsizetype cells = 0;
        for (int line = 0; line < log.csvLineCount(); ++line)
            cells += log.csvLine(line).size();
        cellsMs.push_back(double(timer.nsecsElapsed()) / 1e6);
        timer.restart();
        qsizetype size = 0;
        for (int line = 0; line < log.csvLineCount(); ++line)
            size += CsvLine(log.csvLine(line)).toLocal8Bit().size();
        linesMs.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (cells == 0 || size == 0)
            return 1;
    }
    const double save = Median(saveMs);
    const double plain = Median(rawMs);
    std::printf("csv_save: %d readings, %lld bytes, median of %d runs\n", log.readingCount(),
                static_cast<long long>(bytes.size()), runs);
    std::printf("  saving the full log %.1f ms\n", save);
    std::printf("  raw write of the same bytes %.1f ms, ratio %.1fx\n", plain, plain > 0 ? save / plain : 0.0);
    const double synced = Median(syncedMs);
    std::printf("  raw write flushed to disk like the writer's file %.1f ms, ratio %.1fx\n", synced,
                synced > 0 ? save / synced : 0.0);
    std::printf("  of which formatting the cells %.1f ms, making the lines %.1f ms\n", Median(cellsMs),
                Median(linesMs));
    return 0;
}
