// bmstool and answers it must not believe: another command's answer (a
// late one from the run before) and a pack clock no calendar has.

#include "tool_process.h"

#include <QDateTime>

#include <gtest/gtest.h>

namespace {

TEST(ToolAnswers, AClockNoCalendarHasIsAnError)
{
    for (const char* month : {"0", "13"}) {
        SCOPED_TRACE(month);
        const ToolOnSim tool({QStringLiteral("--fault"), QStringLiteral("badclock:%1").arg(month)});
        ASSERT_TRUE(tool.isReady()) << tool.error().toStdString();
        const ToolRun run = tool.json(Words({"time"}));
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("The pack's clock is not a valid date: ")))
            << run.err.toStdString();
    }
}

TEST(ToolAnswers, AnotherCommandsAnswerIsRefusedAsInvalidData)
{
    const ToolOnSim tool({QStringLiteral("--fault"), QStringLiteral("answeras:E9")});
    ASSERT_TRUE(tool.isReady()) << tool.error().toStdString();
    for (const char* command : {"time", "capacity", "packs", "analog"}) {
        const ToolRun run = tool.json(Words({command}));
        EXPECT_EQ(run.exitCode, 1) << command;
        EXPECT_TRUE(run.out.isEmpty()) << command << ": " << run.out.toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("Invalid data"))) << command << ": " << run.err.toStdString();
    }
}

TEST(ToolAnswers, ARunNeverDecodesTheAnswerTheRunBeforeWaitedFor)
{
    // Every answer comes after the reply window: each run leaves its answer
    // on the line for the next one.
    const ToolOnSim tool({QStringLiteral("--fault"), QStringLiteral("delay:800")});
    ASSERT_TRUE(tool.isReady()) << tool.error().toStdString();
    for (int round = 0; round < 2; ++round) {
        const ToolRun first = tool.json(Words({"barcode"}));
        EXPECT_EQ(first.exitCode, 1);
        const ToolRun second = tool.json(Words({"time"}));
        if (second.exitCode == 0) {
            const QString shown = second.first()["pack_time"].toString();
            EXPECT_TRUE(QDateTime::fromString(shown, QStringLiteral("yyyy-MM-dd HH:mm:ss")).isValid())
                << shown.toStdString();
        } else {
            EXPECT_EQ(second.exitCode, 1) << second.err.toStdString();
            EXPECT_TRUE(second.out.isEmpty()) << second.out.toStdString();
        }
    }
}

} // namespace
