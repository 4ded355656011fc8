// bmstool listen on a line where a master (here the test, through the master
// side of a pseudo-terminal) polls four packs, pack 3 silent, with noise and
// damaged frames on the line.

#include "tool_process.h"
#include "support/http_get.h"

#include "lib/sim_bus.h"
#include "protocol/frame.h"
#include "support/pseudo_terminal.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <signal.h>

namespace {

constexpr int kWaitMs = 30000;

QByteArray Damaged(QByteArray frame, qsizetype at)
{
    frame[at] = frame[at] == '0' ? '1' : '0';
    return frame;
}

TEST(ToolListen, HearsAMasterPollingFourPacksWithOneSilentAndNoiseOnTheLine)
{
    PseudoTerminal line;
    ASSERT_TRUE(line.isReady());
    QTemporaryDir logs;
    ASSERT_TRUE(logs.isValid());
    ChildProcess tool;
    ASSERT_TRUE(tool.start(QStringLiteral(BMS_TOOL_PROGRAM),
                           {QStringLiteral("--port"), line.slavePath(), QStringLiteral("--json"),
                            QStringLiteral("listen"), QStringLiteral("--csv"), logs.path()}));
    ASSERT_TRUE(tool.waitForErrorOutput("nothing is sent", kWaitMs));

    SimBus bus;
    std::map<int, QString> voltages;   // by pack, as the packs answered last
    int badFrames = 0;
    for (int pass = 1; pass <= 2; ++pass) {
        for (std::uint8_t pack = 1; pack <= 4; ++pack) {
            for (std::uint8_t cid2 : {0x42, 0x44}) {
                // The master gives up on silent pack 3 after its analog
                // request's window and moves on to pack 4.
                if (pack == 3 && cid2 == 0x44) {
                    ASSERT_TRUE(tool.waitForOutput("\"result\":\"no_answer\"", kWaitMs, pass));
                    continue;
                }
                const QByteArray request = frame::BuildFrame(pack, cid2, QByteArray(1, char(pack)));
                QByteArray traffic = request + QByteArray("\x55\xAA\x00", 3);
                if (pack != 3) {
                    const QByteArray answer = bus.respond(request).text;
                    // Noise damages pack 1's first answer (the master asks
                    // no more; the pack answers again) and the start of
                    // pack 4's alarm request.
                    if (pack == 1 && cid2 == 0x42) {
                        traffic += Damaged(answer, answer.size() - 3) + Damaged(answer, 9);
                        badFrames += 2;
                    }
                    traffic += answer;
                    if (cid2 == 0x42) {
                        // The answer's voltage: INFO from character 13, after
                        // the pack number, the cell count and the cells.
                        const int cells = answer.mid(15, 2).toInt(nullptr, 16);
                        const int at = 13 + 4 + cells * 4;
                        const int temps = answer.mid(at, 2).toInt(nullptr, 16);
                        const int voltageAt = at + 2 + temps * 4 + 4;   // past the temperatures and the current
                        voltages[pack] = QString::number(answer.mid(voltageAt, 4).toInt(nullptr, 16) / 100.0, 'f', 2);
                    }
                }
                if (pack == 4 && cid2 == 0x44) {
                    traffic = Damaged(request, 6) + traffic;
                    ++badFrames;
                }
                ASSERT_TRUE(line.write(traffic));
            }
        }
        ASSERT_TRUE(tool.waitForOutput("\"command\":\"ReadAlarmData\"", kWaitMs, 3 * pass));
    }
    tool.signal(SIGINT);
    ASSERT_TRUE(tool.waitForFinished(kWaitMs));
    EXPECT_EQ(tool.exitCode(), 0) << tool.standardError().toStdString();
    // Not a byte went to the line.
    EXPECT_EQ(line.written().size(), 0);

    ToolRun run;
    run.out = QString::fromUtf8(tool.standardOutput());
    std::map<int, QJsonObject> summaries;
    QJsonObject busTotals;
    int okAnalog = 0;
    for (const QJsonObject& o : run.json()) {
        const QString type = o.value(QStringLiteral("type")).toString();
        if (type == u"summary")
            summaries[o.value(QStringLiteral("address")).toInt()] = o;
        if (type == u"bus")
            busTotals = o;
        if (type == u"heard" && o.value(QStringLiteral("result")).toString() == u"ok"
            && o.value(QStringLiteral("command")).toString() == u"ReadAnalogData") {
            ++okAnalog;
            const int pack = o.value(QStringLiteral("pack")).toInt();
            EXPECT_TRUE(o.value(QStringLiteral("analog")).isObject());
            // The last pass's values are the packs' values as last answered.
            if (okAnalog > 3) {
                EXPECT_EQ(QString::number(o.value(QStringLiteral("voltage_V")).toDouble(), 'f', 2), voltages[pack]);
            }
        }
    }
    EXPECT_EQ(okAnalog, 6);
    ASSERT_EQ(summaries.size(), 4u) << run.out.toStdString();
    EXPECT_EQ(summaries[3].value(QStringLiteral("no_answers")).toInt(), 2);
    EXPECT_EQ(summaries[3].value(QStringLiteral("answers")).toInt(), 0);
    for (int pack : {1, 2, 4}) {
        EXPECT_EQ(summaries[pack].value(QStringLiteral("answers")).toInt(), 4) << pack;
        EXPECT_EQ(summaries[pack].value(QStringLiteral("no_answers")).toInt(), 0) << pack;
    }
    EXPECT_EQ(busTotals.value(QStringLiteral("bad_frames")).toInt(), badFrames) << run.out.toStdString();
    EXPECT_EQ(busTotals.value(QStringLiteral("bad_checksum")).toInt(), 2);
    // One real-time log per answering pack, a row per turn heard.
    const QStringList files = QDir(logs.path()).entryList({QStringLiteral("*.csv")}, QDir::Files);
    EXPECT_EQ(files.size(), 3) << files.join(u' ').toStdString();
}

TEST(ToolListen, SaysOnceThatBytesMakeNoFrameAndFailsWithoutAFrame)
{
    PseudoTerminal line;
    ASSERT_TRUE(line.isReady());
    ChildProcess tool;
    ASSERT_TRUE(tool.start(QStringLiteral(BMS_TOOL_PROGRAM),
                           {QStringLiteral("--port"), line.slavePath(), QStringLiteral("--baud"), QStringLiteral("9600"),
                            QStringLiteral("listen")}));
    ASSERT_TRUE(tool.waitForErrorOutput("nothing is sent", kWaitMs));
    // A line at the wrong speed: a steady stream of bytes that never frame.
    QDeadlineTimer deadline(kWaitMs);
    while (!tool.standardError().contains("no frame") && !deadline.hasExpired()) {
        ASSERT_TRUE(line.write(QByteArray(20, char(0xE6))));
        tool.waitForErrorOutput("no frame", 200);
    }
    tool.signal(SIGINT);
    ASSERT_TRUE(tool.waitForFinished(kWaitMs));
    const QString err = QString::fromUtf8(tool.standardError());
    EXPECT_EQ(err.count(QStringLiteral("bytes heard but no frame: check the line speed, now 9600")), 1)
        << err.toStdString();
    EXPECT_EQ(tool.exitCode(), 1);
    EXPECT_TRUE(err.contains(QStringLiteral("no sound frame was heard"))) << err.toStdString();
    EXPECT_EQ(line.written().size(), 0);
}

// The simulator's pseudo-terminal, closed as an adapter pulled out: it sends
// nothing unasked, so the listener hears nothing before the port goes.
TEST(ToolListen, AnAdapterPulledEndsTheRunAsPollSaysIt)
{
    SimProcess sim;
    ASSERT_TRUE(sim.isReady()) << sim.error().toStdString();
    ChildProcess tool;
    ASSERT_TRUE(tool.start(QStringLiteral(BMS_TOOL_PROGRAM),
                           {QStringLiteral("--port"), sim.linkPath(), QStringLiteral("--json"), QStringLiteral("listen")}));
    ASSERT_TRUE(tool.waitForErrorOutput("nothing is sent", kWaitMs));
    sim.stop();
    ASSERT_TRUE(tool.waitForFinished(kWaitMs));
    EXPECT_EQ(tool.exitCode(), 1);
    const QString err = QString::fromUtf8(tool.standardError());
    EXPECT_TRUE(err.contains(QStringLiteral("the port %1 went away").arg(sim.linkPath()))) << err.toStdString();
    // The summary still comes, saying what was heard: nothing.
    EXPECT_TRUE(tool.standardOutput().contains("\"type\":\"bus\"")) << tool.standardOutput().toStdString();
}

} // namespace

namespace {

// bms-sim plays the master as makers' masters do: four packs, pack 3
// silent, a reply window of 0.3 s (shorter than the listener's own), every
// third answer with a wrong checksum, noise before the answers. With six
// answers a round, the damaged ones are always pack 2's analog and pack 4's
// alarm answers, so the count heard follows from the requests heard,
// whichever round the listener joined in. The master ends after its rounds
// and takes the line with it; the listener, told to reconnect, says so and
// is ended by SIGHUP with its summary.
TEST(ToolListen, HearsBmsSimPlayingTheMasterAndWritesNothing)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString stats = folder.filePath(QStringLiteral("stats.json"));
    const QString link = folder.filePath(QStringLiteral("ttyBMS-master"));
    ChildProcess sim;
    ASSERT_TRUE(sim.start(QStringLiteral(BMS_SIM_PROGRAM),
                          {QStringLiteral("--packs"), QStringLiteral("4"), QStringLiteral("--link"), link,
                           QStringLiteral("--master"), QStringLiteral("400"), QStringLiteral("--rounds"),
                           QStringLiteral("12"), QStringLiteral("--commands"), QStringLiteral("analog,alarm"),
                           QStringLiteral("--timeout"), QStringLiteral("300"), QStringLiteral("--stats"), stats,
                           QStringLiteral("--fault"), QStringLiteral("silent:3"), QStringLiteral("--fault"),
                           QStringLiteral("badsum:3"), QStringLiteral("--fault"), QStringLiteral("noise")}));
    ASSERT_TRUE(sim.waitForLine(10000)) << sim.standardError().constData();
    // The listener's own window is the default: the master's next request
    // tells that it gave up on a silent pack.
    const std::uint16_t metricsPort = FreeLoopbackPort();
    ChildProcess tool;
    ASSERT_TRUE(tool.start(QStringLiteral(BMS_TOOL_PROGRAM),
                           {QStringLiteral("--port"), link, QStringLiteral("--json"), QStringLiteral("listen"),
                            QStringLiteral("--reconnect"), QStringLiteral("--metrics"),
                            QStringLiteral("127.0.0.1:%1").arg(metricsPort)}));
    // The master is under way already; twelve rounds leave enough of them
    // for a listener that is slow to start (under a sanitizer, say).
    ASSERT_TRUE(tool.waitForErrorOutput("nothing is sent", kWaitMs));
    // The silent pack is down at /metrics as a polled one would be; the
    // others are up.
    const auto served = [](const QByteArray& body, int pack) {
        const QByteArray line = "bms_pack_up{pack=\"" + QByteArray::number(pack) + '"';
        const qsizetype at = body.indexOf(line);
        return at < 0 ? QByteArray() : body.mid(at, body.indexOf('\n', at) - at).split(' ').last();
    };
    QByteArray body;
    const QDeadlineTimer metricsDeadline(kWaitMs);
    while (!metricsDeadline.hasExpired() && (served(body, 3) != "0" || served(body, 1) != "1")) {
        QThread::msleep(100);
        body = HttpGet(metricsPort).body;
    }
    EXPECT_EQ(served(body, 3), "0") << body.toStdString();
    EXPECT_EQ(served(body, 1), "1") << body.toStdString();
    ASSERT_TRUE(sim.waitForOutput("rounds done 12", kWaitMs));
    ASSERT_TRUE(sim.waitForFinished(kWaitMs));
    EXPECT_EQ(sim.exitCode(), 0);
    // The serial layer does not always notice at once that a pseudo-terminal
    // lost its other side; what is checked of the gap follows what it saw.
    const bool wentAway = tool.waitForErrorOutput("went away at", 10000);
    tool.waitForOutput("never printed", 300);   // away for a moment
    tool.signal(SIGHUP);
    ASSERT_TRUE(tool.waitForFinished(kWaitMs));
    EXPECT_EQ(tool.exitCode(), 0) << tool.standardError().toStdString();

    ToolRun run;
    run.out = QString::fromUtf8(tool.standardOutput());
    std::map<int, QJsonObject> summaries;
    QJsonObject bus;
    int damagedExpected = 0;
    for (const QJsonObject& o : run.json()) {
        const QString type = o.value(QStringLiteral("type")).toString();
        if (type == u"summary")
            summaries[o.value(QStringLiteral("address")).toInt()] = o;
        else if (type == u"bus")
            bus = o;
        else if (type == u"heard" && !o.value(QStringLiteral("request")).toString().isEmpty()) {
            const int address = o.value(QStringLiteral("address")).toInt();
            const QString command = o.value(QStringLiteral("command")).toString();
            if ((address == 2 && command == u"ReadAnalogData") || (address == 4 && command == u"ReadAlarmData"))
                ++damagedExpected;
            if (o.value(QStringLiteral("result")).toString() == u"ok") {
                EXPECT_NE(address, 3);
            }
        }
    }
    // Only the four packs have rows: damaged frames are counted on the bus line.
    ASSERT_EQ(summaries.size(), 4u) << run.out.toStdString();
    EXPECT_EQ(summaries[3].value(QStringLiteral("answers")).toInt(), 0);
    EXPECT_GE(summaries[3].value(QStringLiteral("no_answers")).toInt(), 8);
    EXPECT_EQ(summaries[3].value(QStringLiteral("no_answers")).toInt(),
              summaries[3].value(QStringLiteral("requests")).toInt());
    // One master: nothing overlapped, nothing late.
    EXPECT_EQ(bus.value(QStringLiteral("overlapped")).toInt(-1), 0) << run.out.toStdString();
    EXPECT_EQ(bus.value(QStringLiteral("late_answers")).toInt(-1), 0);
    EXPECT_GE(damagedExpected, 8);
    EXPECT_EQ(bus.value(QStringLiteral("bad_checksum")).toInt(), damagedExpected) << run.out.toStdString();
    EXPECT_GT(bus.value(QStringLiteral("bytes_outside_frames")).toInt(), 0);
    // The line went once and is still away: the summary shows the gap.
    EXPECT_EQ(bus.value(QStringLiteral("port_lost")).toInt(-1), wentAway ? 1 : 0);
    EXPECT_EQ(bus.value(QStringLiteral("port_away_ms")).toInt(-1) > 0, wentAway);
    // The master counts what reached it from the listener: nothing.
    QFile file(stats);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("listener_bytes")).toInt(-1), 0);
}

} // namespace
