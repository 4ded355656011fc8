// bmstool report: the files are checked before any pack is read, and a run
// against the in-process packs writes both files.
#include "tool_process.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString FileText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

TEST(ToolReport, RefusesFilesItCannotWriteBeforeOpeningThePort)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString kept = folder.filePath(QStringLiteral("kept.pdf"));
    QFile earlier(kept);
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
    earlier.write("earlier report");
    earlier.close();
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

} // namespace
