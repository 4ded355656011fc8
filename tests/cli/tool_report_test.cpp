// bmstool report: the files are checked before any pack is read, a run
// against the in-process packs writes both files, a report that could not
// read everything still writes them but fails, and a lost port writes none.
#include "tool_process.h"

#include <QDateTime>
#include <QDir>
#include <QJsonArray>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "support/earlier_file.h"

#include <gtest/gtest.h>

namespace {

QString FileText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The words of a PDF, one space between them.
QString PdfWords(const QString& path)
{
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {path, QStringLiteral("-")});
    return text.waitForFinished(60000) ? QString::fromUtf8(text.readAllStandardOutput()).simplified() : QString();
}

TEST(ToolReport, RefusesFilesItCannotWriteBeforeOpeningThePort)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString kept = folder.filePath(QStringLiteral("kept.pdf"));
    ASSERT_TRUE(PlantEarlierFile(kept));
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("folder.html")));
    // The port does not exist: only a check made before opening it can
    // answer with a usage error (2) rather than a port error (1).
    const QString port = folder.filePath(QStringLiteral("no-such-port"));
    const struct {
        QStringList options;
        const char* says;
    } cases[] = {
        {{QStringLiteral("--pdf"), folder.filePath(QStringLiteral("missing/r.pdf"))}, "missing/r.pdf"},
        {{QStringLiteral("--pdf"), kept, QStringLiteral("--html"), folder.filePath(QStringLiteral("folder.html"))},
         "folder.html"},
        {{QStringLiteral("--pdf"), kept, QStringLiteral("--html"), kept}, "must differ"},
        {{QStringLiteral("--pdf"), kept, QStringLiteral("--ref"), folder.filePath(QStringLiteral("none.prt"))},
         "none.prt"},
        {{QStringLiteral("--pdf"), QStringLiteral("/proc/x.pdf")}, "takes no new files"},
        {{QStringLiteral("--pdf"), kept, QStringLiteral("--html"), QStringLiteral("/proc/new/r.html")},
         "was not created"},
    };
    for (const auto& c : cases) {
        const ToolRun run = RunTool(QStringList{QStringLiteral("--port"), port, QStringLiteral("report"),
                                                QStringLiteral("--packs"), QStringLiteral("1")}
                                    + c.options);
        EXPECT_EQ(run.exitCode, 2) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QLatin1String(c.says))) << run.err.toStdString();
    }
    const ToolRun badList = RunTool({QStringLiteral("--port"), port, QStringLiteral("report"), QStringLiteral("--packs"),
                                     QStringLiteral("3-1"), QStringLiteral("--pdf"), kept});
    EXPECT_EQ(badList.exitCode, 2);
    EXPECT_EQ(FileText(kept), QStringLiteral("earlier report"));
}

TEST(ToolReport, WritesThePdfAndTheHtmlOfThePacks)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString pdf = folder.filePath(QStringLiteral("rack.pdf"));
    const QString html = folder.filePath(QStringLiteral("rack.html"));
    const ToolRun run = RunTool({QStringLiteral("--port"), QStringLiteral("simulator"), QStringLiteral("--lang"),
                                 QStringLiteral("en"), QStringLiteral("--json"), QStringLiteral("report"),
                                 QStringLiteral("--packs"), QStringLiteral("1-2"), QStringLiteral("--pdf"), pdf,
                                 QStringLiteral("--html"), html, QStringLiteral("--no-logs")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const std::vector<QJsonObject> lines = run.json();
    ASSERT_EQ(lines.size(), 4u) << run.out.toStdString();   // two packs, the files, the rack
    EXPECT_EQ(lines[0].value(QStringLiteral("bar_code")).toString(), QStringLiteral("SIM48V100AH0001"));
    EXPECT_EQ(lines[2].value(QStringLiteral("pdf")).toString(), pdf);
    EXPECT_TRUE(FileText(html).contains(QStringLiteral("SIM48V100AH0002")));

    QProcess text;
    text.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    ASSERT_TRUE(text.waitForFinished(60000));
    const QString words = QString::fromUtf8(text.readAllStandardOutput());
    EXPECT_TRUE(words.contains(QStringLiteral("SIM48V100AH0001")) && words.contains(QStringLiteral("Service Report")))
        << words.toStdString();
}

// A pack that refuses its alarm read, a silent one and a silent reference:
// the files are written, the run fails and says why.
TEST_F(ToolOnSimTest, IncompleteReportIsWrittenAndFails)
{
    start({QStringLiteral("--fault"), QStringLiteral("silent:3"), QStringLiteral("--fault"),
           QStringLiteral("rtn:44:E1:2")});
    const QString pdf = file("rack.pdf");
    const ToolRun run = m_tool->json({QStringLiteral("--lang"), QStringLiteral("en"), QStringLiteral("report"),
                                      QStringLiteral("--packs"), QStringLiteral("1-3"), QStringLiteral("--ref-pack"),
                                      QStringLiteral("3"), QStringLiteral("--pdf"), pdf, QStringLiteral("--no-logs")});
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("report incomplete: packs 2, 3"))) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("Reference pack 3 could not be read"))) << run.err.toStdString();
    const std::vector<QJsonObject> lines = run.json();
    ASSERT_EQ(lines.size(), 5u) << run.out.toStdString();
    const char* statuses[] = {"OK", "Incomplete", "no answer"};
    for (std::size_t k = 0; k < 3; ++k)
        EXPECT_EQ(lines[k].value(QStringLiteral("status")).toString(), QLatin1String(statuses[k])) << k;
    EXPECT_TRUE(lines[1].value(QStringLiteral("not_read")).toString().startsWith(QStringLiteral("alarm data (0x44)")));
    const QString words = PdfWords(pdf);
    EXPECT_TRUE(words.contains(QStringLiteral("Not read: alarm data (0x44)"))) << words.toStdString();
    EXPECT_TRUE(words.contains(QStringLiteral("no comparison was made"))) << words.toStdString();
}

// The values a script acts on, without a PDF: a pack over its spread limit,
// a silent one and one whose limits could not be read, each with its level,
// findings and unread items, then the rack's own object.
TEST_F(ToolOnSimTest, JsonGivesEachPacksLevelAndFindingsAsValues)
{
    start({QStringLiteral("--fault"), QStringLiteral("silent:2"), QStringLiteral("--fault"),
           QStringLiteral("rtn:47:E1:3")});
    const QString limits = file("limits.prt");
    {
        QFile out(limits);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write("Id,Value\r\n024,1\r\n");   // balance starting difference 1 mV: below any spread
    }
    const ToolRun write = m_tool->run({QStringLiteral("--address"), QStringLiteral("1"), QStringLiteral("params"),
                                       QStringLiteral("write"), limits});
    ASSERT_EQ(write.exitCode, 0) << write.err.toStdString();

    const ToolRun run = m_tool->run({QStringLiteral("--lang"), QStringLiteral("en"), QStringLiteral("report"),
                                     QStringLiteral("--json"), QStringLiteral("--packs"), QStringLiteral("1-3"),
                                     QStringLiteral("--no-logs")});
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    const std::vector<QJsonObject> lines = run.json();
    ASSERT_EQ(lines.size(), 4u) << run.out.toStdString();
    const struct {
        bool answered;
        const char* level;
        const char* firstRule;   // "": no findings
        int unreadCommand;       // 0: nothing unread
    } packs[] = {
        {true, "watch", "spread", 0},
        {false, "no_answer", "", 0},
        {true, "incomplete", "", 0x47},   // the spread and temperature rules need its limits
    };
    for (std::size_t k = 0; k < 3; ++k) {
        const QJsonObject& pack = lines[k];
        EXPECT_EQ(pack[QStringLiteral("type")].toString(), QStringLiteral("report_pack"));
        EXPECT_EQ(pack[QStringLiteral("pack")].toInt(), int(k) + 1);
        EXPECT_EQ(pack[QStringLiteral("reach")].toString(), QStringLiteral("asked"));
        EXPECT_EQ(pack[QStringLiteral("answered")].toBool(), packs[k].answered) << k;
        EXPECT_EQ(pack[QStringLiteral("level")].toString(), QLatin1String(packs[k].level)) << k;
        const QJsonArray findings = pack[QStringLiteral("findings")].toArray();
        EXPECT_EQ(findings.isEmpty(), *packs[k].firstRule == 0) << k;
        if (!findings.isEmpty()) {
            EXPECT_EQ(findings[0].toObject()[QStringLiteral("rule")].toString(), QLatin1String(packs[k].firstRule));
        }
        const QJsonArray unread = pack[QStringLiteral("unread")].toArray();
        EXPECT_EQ(unread.isEmpty() ? 0 : unread[0].toObject()[QStringLiteral("command")].toInt(), packs[k].unreadCommand)
            << k;
    }
    const QJsonObject spread = lines[0][QStringLiteral("findings")].toArray()[0].toObject();
    EXPECT_EQ(spread[QStringLiteral("level")].toString(), QStringLiteral("watch"));
    EXPECT_EQ(spread[QStringLiteral("limit")].toInt(), 1);
    EXPECT_GT(spread[QStringLiteral("value")].toInt(), 1);
    EXPECT_EQ(spread[QStringLiteral("unit")].toString(), QStringLiteral("mV"));
    EXPECT_EQ(lines[1][QStringLiteral("result")].toInt(), 0xAF) << run.out.toStdString();   // no answer
    EXPECT_EQ(lines[2][QStringLiteral("unread")].toArray()[0].toObject()[QStringLiteral("result")].toInt(), 0xE1);

    const QJsonObject& rack = lines[3];
    EXPECT_EQ(rack[QStringLiteral("type")].toString(), QStringLiteral("report"));
    EXPECT_EQ(rack[QStringLiteral("packs")].toInt(), 3);
    EXPECT_FALSE(rack[QStringLiteral("complete")].toBool());
    EXPECT_FALSE(rack[QStringLiteral("cancelled")].toBool());
    EXPECT_FALSE(rack[QStringLiteral("port_lost")].toBool());
    EXPECT_TRUE(QDateTime::fromString(rack[QStringLiteral("made")].toString(), Qt::ISODate).isValid());

    // Without --json the PDF is still required.
    const ToolRun plain = m_tool->run({QStringLiteral("report"), QStringLiteral("--packs"), QStringLiteral("1")});
    EXPECT_EQ(plain.exitCode, 2) << plain.err.toStdString();
}

// The adapter is pulled while the second pack is asked: exit 1 naming the
// port, and the earlier report stays.
TEST(ToolReport, LostPortWritesNoReport)
{
    SimProcess sim({QStringLiteral("--fault"), QStringLiteral("slow:2:1500")});
    ASSERT_TRUE(sim.isReady()) << sim.error().toStdString();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString pdf = folder.filePath(QStringLiteral("rack.pdf"));
    ASSERT_TRUE(PlantEarlierFile(pdf));
    ChildProcess tool;
    ASSERT_TRUE(tool.start(QStringLiteral(BMS_TOOL_PROGRAM),
                           {QStringLiteral("--port"), sim.linkPath(), QStringLiteral("--lang"), QStringLiteral("en"),
                            QStringLiteral("report"), QStringLiteral("--packs"), QStringLiteral("1-4"),
                            QStringLiteral("--pdf"), pdf, QStringLiteral("--no-logs")}));
    ASSERT_TRUE(tool.waitForErrorOutput("[2/4] Pack 2", 60000)) << tool.standardError().toStdString();
    sim.stop();
    ASSERT_TRUE(tool.waitForFinished(60000));
    EXPECT_EQ(tool.exitCode(), 1);
    const QString err = QString::fromUtf8(tool.standardError());
    EXPECT_TRUE(err.contains(QStringLiteral("the port %1 went away: no report written").arg(sim.linkPath())))
        << err.toStdString();
    EXPECT_EQ(FileText(pdf), QStringLiteral("earlier report"));
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList({QStringLiteral("rack.pdf")}));
}

} // namespace
