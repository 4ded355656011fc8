// bmstool and answers it must not believe: another command's answer (a
// late one from the run before) and a pack clock no calendar has.

#include "tool_process.h"

#include <QDateTime>
#include <QJsonArray>

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
        EXPECT_EQ(run.first()["type"].toString(), QStringLiteral("error")) << run.out.toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("The pack's clock is not a valid date: ")))
            << run.err.toStdString();
    }
}

// Under --json each failure is one error line as well; the text says whose
// code it is: the host's answer check, or the pack's own return code.
TEST(ToolAnswers, AnAnswerNotBelievedIsAnErrorLineThatSaysWhose)
{
    // A longer answer (the bar code's) and a shorter or equally long one (the
    // clock's 7 bytes, as long as the capacities) are another command's.
    const struct {
        const char* fault;
        std::vector<const char*> commands;
        int result;
        const char* says;   // the whole message, or its start
    } cases[] = {
        {"answeras:E9", {"time", "capacity", "packs", "analog"}, 6, "6--Invalid data"},
        {"answeras:4D", {"capacity", "barcode", "info", "product", "location"}, 6, "6--Invalid data"},
        {"rtn:42:02", {"analog"}, 2, "the pack answered with return code 0x02 (Checksum error)"},
        {"rtn:42:06", {"analog"}, 6, "the pack answered with return code 0x06 (Invalid data)"},
        // A damaged frame is the host's finding: the search goes on past it.
        {"badsum:1", {"analog"}, 6, "6--Invalid data"},
        {"silent:1", {"analog"}, 175, "175--No answer from the pack on /"},
    };
    for (const auto& c : cases) {
        const ToolOnSim tool({QStringLiteral("--fault"), QLatin1String(c.fault)});
        ASSERT_TRUE(tool.isReady()) << tool.error().toStdString();
        for (const char* command : c.commands) {
            SCOPED_TRACE(std::string(c.fault) + " for " + command);
            // Pinned as ours: the command's own answer is judged, not the
            // live read that would confirm the family first.
            const ToolRun run = tool.json(Words({"--lang", "en", "--family", "1:ours", command}));
            EXPECT_EQ(run.exitCode, 1);
            const std::vector<QJsonObject> lines = run.json();
            ASSERT_EQ(lines.size(), 1u) << run.out.toStdString();
            EXPECT_EQ(lines[0]["type"].toString(), QStringLiteral("error"));
            EXPECT_EQ(lines[0]["command"].toString(), QLatin1String(command));
            EXPECT_EQ(lines[0]["result"].toInt(), c.result);
            EXPECT_TRUE(lines[0]["error"].toString().startsWith(QLatin1String(c.says))) << run.out.toStdString();
            EXPECT_TRUE(run.err.startsWith(QLatin1String(c.says))) << run.err.toStdString();
        }
    }
    // Unpinned, a pack whose live values fit no layout is not confirmed as
    // ours: a write is refused and the message says what the answer had.
    const ToolOnSim tool({QStringLiteral("--fault"), QStringLiteral("answeras:E9")});
    ASSERT_TRUE(tool.isReady()) << tool.error().toStdString();
    const ToolRun run = tool.run(Words({"--lang", "en", "time", "sync"}));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.trimmed(), QStringLiteral("168--The pack's family is not known: only reads are sent (pack 1: its "
                                                "answer (VER 0x21, CID1 0x46, ending before its user-defined count) "
                                                "fits no family)"));
}

TEST(ToolAnswers, AShortAnalogAnswerIsShownWithBlanksAfter)
{
    const struct {
        const char* fault;
        bool temperatures;
    } cases[] = {{"short:analog:cells", false}, {"short:analog:temperatures", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        const ToolOnSim tool({QStringLiteral("--fault"), QLatin1String(c.fault)});
        ASSERT_TRUE(tool.isReady()) << tool.error().toStdString();
        const ToolRun run = tool.json(Words({"analog"}));
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        const QJsonObject shown = run.first();
        EXPECT_GT(shown["cells_mV"].toArray().at(15).toInt(), 3000);
        EXPECT_EQ(shown.contains("fet_C"), c.temperatures);
        EXPECT_FALSE(shown.contains("voltage_V")) << "not sent, so left out rather than shown as 0";
        EXPECT_FALSE(shown.contains("soh"));
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
            EXPECT_EQ(second.first()["type"].toString(), QStringLiteral("error")) << second.out.toStdString();
        }
    }
}

} // namespace
