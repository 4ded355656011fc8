// The per-pack CSV logs of "poll --csv" and "listen --csv": a row per turn,
// on disk as soon as the turn is handed on, a new file per pack at local
// midnight, and never a file replaced.

#include "outputs/csv_sink.h"
#include "store/devinfo.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

RPackSample Turn(std::uint8_t pack, bool measured)
{
    RPackSample sample;
    sample.pack = pack;
    sample.address = pack;
    RAnalogData analog;
    analog.packNumber = pack;
    if (measured) {
        analog.totalVoltage = Decimal::fromInt(52);
        analog.cellVoltages[0] = 3300;
    }
    sample.analog = analog;
    sample.exchanges = {{0x42, 0}};
    return sample;
}

QStringList Lines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

TEST(CsvSink, EachPackStartsANewFileAtLocalMidnightAndNothingIsOverwritten)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // A file of the first name is there already (another run's): it stays.
    {
        QFile kept(dir.filePath(QStringLiteral("1_20260301235958.csv")));
        ASSERT_TRUE(kept.open(QIODevice::WriteOnly));
        kept.write("kept\n");
    }
    TDevInfo store;
    QDateTime now(QDate(2026, 3, 1), QTime(23, 59, 58));
    CsvSink sink(store, dir.path(), [&now] { return now; });
    QString error;
    ASSERT_TRUE(sink.Start(error)) << error.toStdString();

    // Each turn at its second after 23:59:58; the rows of each file expected
    // on disk right after the turn.
    struct Step {
        int second;
        std::uint8_t pack;
        bool measured;
        const char* file;
        int rows;
    };
    const Step steps[] = {
        {0, 1, true, "1_20260301235958_2.csv", 1},
        {0, 2, true, "2_20260301235958.csv", 1},
        {1, 1, true, "1_20260301235958_2.csv", 2},
        {1, 1, false, "1_20260301235958_2.csv", 2},   // nothing measured: no row
        {2, 1, true, "1_20260302000000.csv", 1},      // midnight
        {2, 2, true, "2_20260302000000.csv", 1},
        {3, 1, true, "1_20260302000000.csv", 2},
    };
    for (const Step& step : steps) {
        now = QDateTime(QDate(2026, 3, 1), QTime(23, 59, 58)).addSecs(step.second);
        sink.PackSampled(Turn(step.pack, step.measured));
        const QStringList lines = Lines(dir.filePath(QString::fromLatin1(step.file)));
        ASSERT_EQ(lines.size(), step.rows + 1) << step.file << " after second " << step.second;
        // Row numbers count from 1 in every file.
        EXPECT_TRUE(lines.last().startsWith(QString::number(step.rows) + u',')) << lines.last().toStdString();
    }
    sink.Finish(std::chrono::milliseconds(0));
    sink.PackSampled(Turn(1, true));   // after the end: nothing

    EXPECT_EQ(Lines(dir.filePath(QStringLiteral("1_20260301235958.csv"))), QStringList{QStringLiteral("kept")});
    EXPECT_EQ(Lines(dir.filePath(QStringLiteral("1_20260302000000.csv"))).size(), 3);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 5);
    const std::vector<ROutputEvent> events = sink.TakeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, ROutputEvent::Kind::Finished);
    EXPECT_EQ(events[0].counts.sent, 6);
    EXPECT_TRUE(sink.Failure().isEmpty());
}

TEST(CsvSink, AFolderThatRefusesFilesIsReportedOnceAndTriedAgainTheNextDay)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("logs"));
    TDevInfo store;
    QDateTime now(QDate(2026, 3, 1), QTime(12, 0));
    CsvSink sink(store, folder, [&now] { return now; });
    QString error;
    ASSERT_TRUE(sink.Start(error));
    // The folder goes and a file takes its name, which refuses files even
    // to the superuser.
    ASSERT_TRUE(QDir(folder).removeRecursively());
    {
        QFile blocker(folder);
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    sink.PackSampled(Turn(1, true));
    sink.PackSampled(Turn(1, true));
    std::vector<ROutputEvent> events = sink.TakeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, ROutputEvent::Kind::FileFailed);
    EXPECT_FALSE(sink.Failure().isEmpty());

    ASSERT_TRUE(QFile::remove(folder));
    ASSERT_TRUE(QDir().mkpath(folder));
    sink.PackSampled(Turn(1, true));   // the same day: not tried again
    EXPECT_TRUE(QDir(folder).isEmpty());
    now = now.addDays(1);
    sink.PackSampled(Turn(1, true));
    EXPECT_EQ(Lines(QDir(folder).filePath(QStringLiteral("1_20260302120000.csv"))).size(), 2);
}
