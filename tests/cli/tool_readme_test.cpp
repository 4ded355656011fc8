// The README's bmstool examples, run as written against bms-sim: each is
// still in the README and ends with the exit status the README states for it
// (0: done and checked, 1: a pack did not answer, 2: bad arguments).

#include "tool_process.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

struct Example {
    const char* line;   // as the README shows it, before its comment
    int exitCode;
};

// In README order: a later example may use what an earlier one wrote.
constexpr Example kExamples[] = {
    {"bmstool --port COM3 analog", 0},
    {"bmstool --port /dev/ttyUSB0 --json alarm", 0},
    {"bmstool --port simulator time sync", 0},
    {"bmstool params read --out pack1.prt", 0},
    {"bmstool params write pack1.prt", 0},
    {"bmstool params compare --packs 1-4", 0},
    {"bmstool history alarm --csv alarms.csv", 0},
    {"bmstool --json poll --packs 1-4 --count 3 --interval 1000 --csv logs", 0},
    {"bmstool scan --to 8", 0},
    {"bmstool --address 9 analog", 1},
    {"bmstool --address 17 analog", 2},
};

// The example's arguments with the port the README names replaced by the
// simulator's link; "simulator" itself stays, it is the in-process packs.
QStringList ArgumentsOnSim(const QString& line, const QString& link)
{
    QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts).mid(1);
    const qsizetype port = words.indexOf(QStringLiteral("--port"));
    if (port >= 0 && words.value(port + 1) != QLatin1String("simulator"))
        words.remove(port, 2);
    if (!words.contains(QStringLiteral("--port")))
        words = QStringList{QStringLiteral("--port"), link} + words;
    return words;
}

TEST(ToolReadme, TheExamplesRunAndExitAsTheReadmeSays)
{
    QFile readme(QStringLiteral(BMS_SOURCE_DIR "/README.md"));
    ASSERT_TRUE(readme.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(readme.readAll());

    const ToolOnSim tool({QStringLiteral("--records"), QStringLiteral("5")});
    ASSERT_TRUE(tool.isReady()) << tool.error().toStdString();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("logs")));
    const QString before = QDir::currentPath();
    QDir::setCurrent(folder.path());   // the examples' files land here

    for (const Example& example : kExamples) {
        const QString line = QLatin1String(example.line);
        SCOPED_TRACE(example.line);
        EXPECT_TRUE(text.contains(QLatin1Char('\n') + line + QLatin1Char(' '))) << "no longer in the README";
        const ToolRun run = RunTool(ArgumentsOnSim(line, tool.sim().linkPath()));
        EXPECT_TRUE(run.finished);
        EXPECT_EQ(run.exitCode, example.exitCode) << run.err.toStdString();
    }
    QDir::setCurrent(before);
}

} // namespace
