// bmstool through a TCP serial gateway (bms-sim --tcp): the same answers as
// over the pseudo-terminal, a lost connection that polling survives, bad
// tcp:// values, a gateway that never answers; and the bus scan.

#include "tool_process.h"

#include <QJsonArray>
#include <QTcpServer>

#include <gtest/gtest.h>

namespace {

QStringList JsonTypes(const ToolRun& run)
{
    QStringList types;
    for (const QJsonObject& object : run.json())
        types << object[QStringLiteral("type")].toString();
    return types;
}

TEST(ToolGateway, AnswersThroughTcpMatchThoseOverTheTerminal)
{
    const ToolOnSim terminal;
    const ToolOnSim gateway({}, 4, 0);
    ASSERT_TRUE(terminal.isReady()) << terminal.error().toStdString();
    ASSERT_TRUE(gateway.isReady()) << gateway.error().toStdString();
    ASSERT_TRUE(gateway.sim().linkPath().startsWith(QStringLiteral("tcp://127.0.0.1:")));

    const std::initializer_list<const char*> commands[] = {
        {"info"}, {"barcode"}, {"packs"}, {"capacity"}, {"product"}, {"--address", "3", "discharge"},
        {"params", "read"}, {"scan", "--to", "5", "--timeout", "300"},
    };
    for (const auto& command : commands) {
        const ToolRun overTerminal = terminal.json(Words(command));
        const ToolRun overTcp = gateway.json(Words(command));
        const std::string name = Words(command).join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(overTerminal.exitCode, 0) << name << ": " << overTerminal.err.toStdString();
        EXPECT_EQ(overTcp.exitCode, 0) << name << ": " << overTcp.err.toStdString();
        EXPECT_EQ(overTcp.out, overTerminal.out) << name;
    }

    // Live values move with the clock: the same cycle yields the same lines.
    const QStringList poll = Words({"poll", "--packs", "1-2", "--count", "2"});
    const ToolRun polledTerminal = terminal.json(poll);
    const ToolRun polledTcp = gateway.json(poll);
    EXPECT_EQ(polledTcp.exitCode, 0) << polledTcp.err.toStdString();
    EXPECT_EQ(JsonTypes(polledTcp), JsonTypes(polledTerminal));
    EXPECT_FALSE(polledTcp.out.contains(QStringLiteral("\"error\"")));
}

TEST(ToolGateway, PollingSurvivesTheGatewayGoingAway)
{
    auto sim = std::make_unique<SimProcess>(QStringList{}, 2, 0);
    ASSERT_TRUE(sim->isReady()) << sim->error().toStdString();
    const QString address = sim->linkPath();
    const int port = address.section(QLatin1Char(':'), -1).toInt();

    ChildProcess tool;
    ASSERT_TRUE(tool.start(QStringLiteral(BMS_TOOL_PROGRAM),
                           QStringList{QStringLiteral("--port"), address, QStringLiteral("--json")}
                               + Words({"poll", "--packs", "1", "--interval", "100"})));
    QByteArray out;
    const auto waitFor = [&](const char* text, int timeoutMs) {
        const QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            tool.waitForLine(200);
            out += tool.takeStandardOutput();
            if (out.contains(text))
                return true;
        }
        return false;
    };
    ASSERT_TRUE(waitFor("\"type\":\"analog\"", 20000)) << out.constData();

    sim->stop();
    out.clear();
    EXPECT_TRUE(waitFor("\"result\":175", 20000)) << out.constData();

    sim = std::make_unique<SimProcess>(QStringList{}, 2, port);
    ASSERT_TRUE(sim->isReady()) << sim->error().toStdString();
    out.clear();
    EXPECT_TRUE(waitFor("\"type\":\"analog\"", 30000)) << out.constData();
    tool.terminate();
}

TEST(ToolGateway, BadGatewaysAreOpenErrorsNamingTheValue)
{
    // Accepts the connection and never answers.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    const QString silentAddress = QStringLiteral("tcp://127.0.0.1:%1").arg(silent.serverPort());
    const ToolRun unanswered = RunTool({QStringLiteral("--port"), silentAddress, QStringLiteral("info")}, 30000);
    EXPECT_TRUE(unanswered.finished);
    EXPECT_EQ(unanswered.exitCode, 1);
    EXPECT_TRUE(unanswered.err.contains(QStringLiteral("175--"))) << unanswered.err.toStdString();

    const char* bad[] = {"tcp://127.0.0.1", "tcp://127.0.0.1:", "tcp://127.0.0.1:0", "tcp://127.0.0.1:70000",
                         "tcp://:4196", "tcp://no-such-gateway.invalid:4196"};
    for (const char* value : bad) {
        const ToolRun run = RunTool({QStringLiteral("--port"), QString::fromUtf8(value), QStringLiteral("info")}, 30000);
        EXPECT_TRUE(run.finished) << value;
        EXPECT_EQ(run.exitCode, 1) << value;
        EXPECT_TRUE(run.err.contains(QString::fromUtf8(value))) << value << ": " << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << value;
    }
}

TEST(ToolScan, FindsExactlyThePacksThatAnswerInOrder)
{
    const ToolOnSim bus(Words({"--fault", "silent:3", "--fault", "silent:4"}), 5);
    ASSERT_TRUE(bus.isReady()) << bus.error().toStdString();
    const ToolRun run = bus.json(Words({"scan", "--from", "1", "--to", "7", "--timeout", "300"}));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const std::vector<QJsonObject> lines = run.json();
    ASSERT_EQ(lines.size(), 4u) << run.out.toStdString();
    const int expected[] = {1, 2, 5};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(lines[i][QStringLiteral("address")].toInt(), expected[i]);
        EXPECT_EQ(lines[i][QStringLiteral("echoed_pack")].toInt(), expected[i]);
        EXPECT_TRUE(lines[i][QStringLiteral("bar_code")].toString().startsWith(QStringLiteral("SIM")));
        // In hexadecimal, as the window shows it.
        EXPECT_EQ(lines[i][QStringLiteral("software_version")].toString(), QStringLiteral("534"));
    }
    EXPECT_EQ(lines[3][QStringLiteral("answered")].toArray(), QJsonArray({1, 2, 5}));
    EXPECT_TRUE(lines[3][QStringLiteral("complete")].toBool());

    const ToolRun empty = bus.run(Words({"scan", "--from", "6", "--to", "7", "--timeout", "100"}));
    EXPECT_EQ(empty.exitCode, 1);
    EXPECT_TRUE(empty.err.contains(QStringLiteral("no address from 6 to 7 answered"))) << empty.err.toStdString();
    EXPECT_NE(bus.run(Words({"scan", "--from", "9", "--to", "2"})).exitCode, 0);
    EXPECT_NE(bus.run(Words({"scan", "--timeout", "5"})).exitCode, 0);
}

} // namespace
