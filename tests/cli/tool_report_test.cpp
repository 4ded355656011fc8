// bmstool report: the files are checked before any pack is read, a run
// against the in-process packs writes both files, a report that could not
// read everything still writes them but fails, and a lost port writes none.
#include "tool_process.h"

#include <QDir>
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
    ASSERT_EQ(lines.size(), 3u) << run.out.toStdString();
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
    ASSERT_EQ(lines.size(), 4u) << run.out.toStdString();
    const char* statuses[] = {"OK", "Incomplete", "no answer"};
    for (std::size_t k = 0; k < 3; ++k)
        EXPECT_EQ(lines[k].value(QStringLiteral("status")).toString(), QLatin1String(statuses[k])) << k;
    EXPECT_TRUE(lines[1].value(QStringLiteral("not_read")).toString().startsWith(QStringLiteral("alarm data (0x44)")));
    const QString words = PdfWords(pdf);
    EXPECT_TRUE(words.contains(QStringLiteral("Not read: alarm data (0x44)"))) << words.toStdString();
    EXPECT_TRUE(words.contains(QStringLiteral("no comparison was made"))) << words.toStdString();
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
