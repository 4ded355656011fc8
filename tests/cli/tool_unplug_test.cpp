// bmstool poll when the adapter is pulled: the simulator's pseudo-terminal
// goes away mid-poll (its master closed) and comes back at the same link.

#include "tool_process.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <signal.h>

namespace {

constexpr int kWaitMs = 30000;

// The lines of the only CSV file in the folder, header first.
QStringList CsvLines(const QString& folder)
{
    const QStringList files = QDir(folder).entryList({QStringLiteral("*.csv")}, QDir::Files);
    if (files.size() != 1)
        return {};
    QFile file(QDir(folder).filePath(files.front()));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

TEST(ToolUnplug, PollSaysThePortWentAwayAndFails)
{
    SimProcess sim;
    ASSERT_TRUE(sim.isReady()) << sim.error().toStdString();
    ChildProcess tool;
    ASSERT_TRUE(tool.start(QStringLiteral(BMS_TOOL_PROGRAM),
                           {QStringLiteral("--port"), sim.linkPath(), QStringLiteral("--json"), QStringLiteral("poll")}));
    ASSERT_TRUE(tool.waitForOutput("\"type\":\"analog\"", kWaitMs));
    sim.stop();
    ASSERT_TRUE(tool.waitForFinished(kWaitMs));
    EXPECT_EQ(tool.exitCode(), 1);
    const QString out = QString::fromUtf8(tool.standardOutput());
    EXPECT_TRUE(out.contains(QStringLiteral("\"command\":\"open\"")) && out.contains(QStringLiteral("\"result\":171")))
        << out.toStdString();
    EXPECT_EQ(out.count(QStringLiteral("went away")), 1) << out.toStdString();
    EXPECT_TRUE(QString::fromUtf8(tool.standardError()).contains(QStringLiteral("the port %1 went away").arg(sim.linkPath())))
        << tool.standardError().toStdString();
}

TEST(ToolUnplug, PollWithReconnectResumesAndItsLogKeepsEveryRow)
{
    SimProcess sim;
    ASSERT_TRUE(sim.isReady()) << sim.error().toStdString();
    QTemporaryDir logs;
    ASSERT_TRUE(logs.isValid());
    ChildProcess tool;
    ASSERT_TRUE(tool.start(QStringLiteral(BMS_TOOL_PROGRAM),
                           {QStringLiteral("--port"), sim.linkPath(), QStringLiteral("--json"), QStringLiteral("poll"),
                            QStringLiteral("--reconnect"), QStringLiteral("--csv"), logs.path()}));
    ASSERT_TRUE(tool.waitForOutput("\"type\":\"analog\"", kWaitMs, 2));

    sim.stop();
    ASSERT_TRUE(tool.waitForOutput("went away", kWaitMs));
    const qsizetype readingsBefore = tool.standardOutput().count("\"type\":\"analog\"");
    // Rows logged before the loss are in the file already.
    EXPECT_EQ(CsvLines(logs.path()).size(), readingsBefore + 1);

    ASSERT_TRUE(sim.start()) << sim.error().toStdString();
    ASSERT_TRUE(tool.waitForOutput("\"state\":\"back\"", kWaitMs));
    ASSERT_TRUE(tool.waitForOutput("\"type\":\"analog\"", kWaitMs, readingsBefore + 2));
    tool.signal(SIGINT);
    ASSERT_TRUE(tool.waitForFinished(kWaitMs));
    EXPECT_EQ(tool.exitCode(), 0) << tool.standardError().toStdString();

    const QString out = QString::fromUtf8(tool.standardOutput());
    EXPECT_EQ(out.count(QStringLiteral("went away")), 1) << "one line for the loss, not one per attempt";
    EXPECT_EQ(out.count(QStringLiteral("\"state\":\"back\"")), 1);
    // Every reading printed has its row: header plus one row each.
    EXPECT_EQ(CsvLines(logs.path()).size(), out.count(QStringLiteral("\"type\":\"analog\"")) + 1);
}

} // namespace

namespace {

TEST(ToolUnplug, AHistoryTransferCutShortSaysSoAndKeepsWholeRows)
{
    SimProcess sim({QStringLiteral("--records"), QStringLiteral("3000")});
    ASSERT_TRUE(sim.isReady()) << sim.error().toStdString();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString csv = folder.filePath(QStringLiteral("work.csv"));
    ChildProcess tool;
    ASSERT_TRUE(tool.start(QStringLiteral(BMS_TOOL_PROGRAM), {QStringLiteral("--port"), sim.linkPath(),
                                                              QStringLiteral("--json"), QStringLiteral("history"),
                                                              QStringLiteral("work"), QStringLiteral("--csv"), csv}));
    ASSERT_TRUE(tool.waitForOutput("\n", kWaitMs, 20));
    sim.stop();
    ASSERT_TRUE(tool.waitForFinished(kWaitMs));
    EXPECT_EQ(tool.exitCode(), 1);
    EXPECT_TRUE(QString::fromUtf8(tool.standardError()).contains(u"went away; the log is incomplete"))
        << tool.standardError().toStdString();

    const QStringList lines = CsvLines(folder.path());
    ASSERT_GE(lines.size(), 21);
    const qsizetype fields = lines.front().count(u',');
    for (const QString& line : lines)
        EXPECT_EQ(line.count(u','), fields) << "a whole row: " << line.toStdString();
    const qsizetype printed = tool.standardOutput().count("\"type\":\"work_record\"");
    EXPECT_EQ(lines.size() - 1, printed);
}

} // namespace

namespace {

TEST(ToolUnplug, TimeSyncAfterThePortWentAwayNamesThePacksNotTried)
{
    // Packs 2 and 3 answer slowly, so the plug is pulled while one of them
    // is asked.
    SimProcess sim({QStringLiteral("--fault"), QStringLiteral("slow:2:600"), QStringLiteral("--fault"),
                    QStringLiteral("slow:3:600")});
    ASSERT_TRUE(sim.isReady()) << sim.error().toStdString();
    ChildProcess tool;
    ASSERT_TRUE(tool.start(QStringLiteral(BMS_TOOL_PROGRAM),
                           {QStringLiteral("--port"), sim.linkPath(), QStringLiteral("--json"), QStringLiteral("time"),
                            QStringLiteral("sync"), QStringLiteral("--packs"), QStringLiteral("1-4")}));
    ASSERT_TRUE(tool.waitForOutput("\"type\":\"time_sync\"", kWaitMs));
    sim.stop();
    ASSERT_TRUE(tool.waitForFinished(kWaitMs));
    EXPECT_EQ(tool.exitCode(), 1);
    const QString err = QString::fromUtf8(tool.standardError());
    EXPECT_TRUE(err.contains(u"went away; clocks not set: packs")) << err.toStdString();
    // Pack 1 was set. A pack asked when the port went is "port_lost" with
    // its result; the packs after it were never asked: no result at all,
    // never "no answer". The run's failure closes the lines.
    const QList<QByteArray> lines = tool.standardOutput().trimmed().split('\n');
    ASSERT_EQ(lines.size(), 5) << tool.standardOutput().toStdString();
    EXPECT_TRUE(lines[4].startsWith("{\"type\":\"error\"")) << lines[4].toStdString();
    EXPECT_TRUE(lines[0].contains("\"reach\":\"asked\"") && lines[0].contains("\"result\":0,"));
    for (int k = 1; k < 4; ++k) {
        const bool asked = lines[k].contains("\"reach\":\"asked\"");
        EXPECT_TRUE(asked ? lines[k].contains("\"result\":0,") : lines[k].contains("\"reach\":\"port_lost\""))
            << lines[k].toStdString();
    }
    EXPECT_TRUE(lines[3].contains("\"result\":null")) << lines[3].toStdString();
}

TEST(ToolUnplug, PollReportsAPortThatDoesNotOpenAsAnErrorLine)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString missing = folder.filePath(QStringLiteral("no-such-adapter"));
    const ToolRun run = RunTool({QStringLiteral("--port"), missing, QStringLiteral("--json"), QStringLiteral("poll")});
    EXPECT_EQ(run.exitCode, 1);
    const QJsonObject line = run.first();
    EXPECT_EQ(line[QStringLiteral("type")].toString(), QStringLiteral("error"));
    EXPECT_EQ(line[QStringLiteral("command")].toString(), QStringLiteral("open"));
    EXPECT_EQ(line[QStringLiteral("result")].toInt(), 171);
    EXPECT_TRUE(line[QStringLiteral("error")].toString().contains(missing)) << run.out.toStdString();
}

} // namespace
