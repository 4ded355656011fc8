// bmstool behind real adapters: one that hears its own requests, one that
// hands answers over in pieces, and a line that still carries another
// run's answer when the tool opens it.

#include "lib/sim_bus.h"
#include "protocol/frame.h"
#include "protocol/traffic_log.h"
#include "support/pseudo_terminal.h"
#include "tool_process.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace {

// The JSON lines without the times that depend on when each simulator
// started or was asked.
QList<QJsonObject> Values(const ToolRun& run)
{
    QList<QJsonObject> values;
    for (QJsonObject object : run.json()) {
        object.remove(QStringLiteral("time"));
        object.remove(QStringLiteral("pack_time"));
        values << object;
    }
    return values;
}

// The answer as the trace line of the run's last exchange shows it.
QString TracedAnswer(const ToolRun& run)
{
    const QStringList lines = run.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return lines.isEmpty() ? QString() : lines.back().section(QStringLiteral(" RX "), 1);
}

// Every command family gives the same values through an echoing adapter
// (on a terminal and through a gateway) and through one that delivers in
// 40 ms pieces as through a plain line; the trace marks each skipped echo.
TEST(ToolAdapters, EveryCommandFamilyReadsTheSameThroughEchoAndPieces)
{
    struct Line {
        const char* name;
        QStringList fault;
        int tcpPort;   // -1: pseudo-terminal
        bool echo;
    };
    const Line lines[] = {
        {"echo on a terminal", Words({"--fault", "echo"}), -1, true},
        {"echo through tcp://", Words({"--fault", "echo"}), 0, true},
        {"pieces of 62 characters 40 ms apart", Words({"--fault", "chunks:40"}), -1, false},
    };
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    for (const Line& line : lines) {
        SCOPED_TRACE(line.name);
        const ToolOnSim plain({}, 4, line.tcpPort);
        const ToolOnSim adapter(line.fault, 4, line.tcpPort);
        ASSERT_TRUE(plain.isReady()) << plain.error().toStdString();
        ASSERT_TRUE(adapter.isReady()) << adapter.error().toStdString();
        const QString block = folder.filePath(QStringLiteral("block-%1.prt").arg(line.tcpPort + 1));
        // Both buses hear the same commands in the same order: their packs
        // then hold the same values.
        const QStringList commands[] = {
            Words({"analog"}),
            Words({"--address", "3", "alarm"}),
            QStringList{QStringLiteral("params"), QStringLiteral("read"), QStringLiteral("--out"), block},
            QStringList{QStringLiteral("params"), QStringLiteral("write"), block},
            Words({"history", "work"}),
            Words({"history", "alarm"}),
            Words({"time", "set", "2024-05-01 08:00:00"}),
            Words({"time"}),
            Words({"barcode", "set", "PK-0021"}),
            Words({"barcode"}),
            Words({"product"}),
            Words({"info"}),
        };
        for (const QStringList& command : commands) {
            const std::string name = command.join(u' ').toStdString();
            const ToolRun expected = plain.json(command);
            const ToolRun got = adapter.json(QStringList{QStringLiteral("--trace")} + command);
            EXPECT_EQ(expected.exitCode, 0) << name << ": " << expected.err.toStdString();
            EXPECT_EQ(got.exitCode, 0) << name << ": " << got.err.toStdString();
            EXPECT_EQ(Values(got), Values(expected)) << name;
            EXPECT_EQ(got.err.contains(QStringLiteral("RX [echo skipped ~")), line.echo) << name;
        }
        EXPECT_TRUE(adapter.json(Words({"time"})).first()[QStringLiteral("pack_time")].toString().startsWith(
            QStringLiteral("2024-05-01 08:0")));
    }
}

// Scripts run the tool back to back. A run that gave up on a late answer
// hears it out before it exits, so the next run, asking the same question
// (an answer of the very length it expects), never takes it for its own.
TEST(ToolAdapters, ANextRunNeverDecodesTheAnswerThePreviousRunGaveUpOn)
{
    const ToolOnSim late(Words({"--fault", "delay:800"}));
    ASSERT_TRUE(late.isReady()) << late.error().toStdString();
    for (int run = 0; run < 3; ++run) {
        SCOPED_TRACE(run);
        const ToolRun asked = late.json(Words({"--trace", "barcode"}));
        // The pack's own answer comes after the bar-code window (700 ms).
        EXPECT_EQ(asked.exitCode, 1) << asked.out.toStdString();
        EXPECT_FALSE(asked.out.contains(QStringLiteral("bar_code"))) << asked.out.toStdString();
        EXPECT_FALSE(TracedAnswer(asked).contains(QLatin1Char('~'))) << asked.err.toStdString();
    }
}

// A line that still carries frames when the tool opens it (the tail of an
// answer meant for another program) is heard out before the first request
// goes out; the answer decoded is the one to that request. The test plays
// the line: for a while stale analog answers of another pack state, ten
// characters every 5 ms as a busy line delivers them, then the true answer
// once the request has come.
TEST(ToolAdapters, AFreshRunWaitsForABusyLineToFallQuietBeforeItsFirstRequest)
{
    PseudoTerminal terminal;
    ASSERT_TRUE(terminal.isReady());
    SimOptions staleOptions;
    staleOptions.seed = 7;
    SimBus stale(staleOptions);
    SimBus genuine;
    const QByteArray staleAnswer = stale.respond(frame::BuildFrame(1, 0x42, QByteArray(1, '\x01'))).text;

    ChildProcess tool;
    ASSERT_TRUE(tool.start(QStringLiteral(BMS_TOOL_PROGRAM),
                           QStringList{QStringLiteral("--port"), terminal.slavePath(), QStringLiteral("--trace"),
                                       QStringLiteral("--json"), QStringLiteral("analog")}));
    QByteArray heard;
    const QDeadlineTimer busy(600);
    for (qsizetype offset = 0; !busy.hasExpired(); offset = (offset + 10) % staleAnswer.size()) {
        terminal.write(staleAnswer.mid(offset, 10));
        QThread::msleep(5);
        heard += terminal.written();
    }
    EXPECT_TRUE(heard.isEmpty()) << "a request went out while the line was busy: " << heard.constData();
    const QDeadlineTimer asked(5000);
    while (frame::CompleteFrameEnd(heard) < 0 && !asked.hasExpired()) {
        QThread::msleep(5);
        heard += terminal.written();
    }
    const QByteArray answer = genuine.respond(heard).text;
    ASSERT_FALSE(answer.isEmpty()) << heard.constData();
    terminal.write(answer);
    ASSERT_TRUE(tool.waitForFinished(10000));
    ToolRun run;
    run.exitCode = tool.exitCode();
    run.out = QString::fromUtf8(tool.takeStandardOutput());
    run.err = QString::fromUtf8(tool.takeStandardError());
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(TracedAnswer(run), EscapeWireBytes(answer));
}

} // namespace
