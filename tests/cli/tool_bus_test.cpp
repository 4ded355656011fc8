// bmstool over a whole rack (--packs) against bms-sim on a pseudo-terminal:
// bad lists and missing confirmations refused before anything is sent, a
// compare that names the packs it could not read, a batch write that goes
// on past a silent pack, one log file per pack and kind that replaces no
// other file, and a clock sync whose unread offsets are null.

#include "tool_process.h"

#include "params/parameter_block.h"
#include "store/pack_list.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

QStringList Args(std::initializer_list<const char*> words)
{
    return QStringList{QStringLiteral("--lang"), QStringLiteral("en")} + Words(words);
}

bool WriteText(const QString& path, const QByteArray& text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

class ToolBus : public ToolOnSimTest {};

TEST_F(ToolBus, BadListsAndMissingConfirmationsExit2BeforeAnythingIsSent)
{
    ASSERT_TRUE(m_folder.isValid());
    const QString good = file("good.prt");
    const QString bad = file("bad.prt");
    const QString twice = file("twice.prt");
    const QString finer = file("finer.prt");
    ASSERT_TRUE(WriteText(good, "Id,Value\r\n023,3450\r\n"));
    ASSERT_TRUE(WriteText(bad, "Id,Value\r\n023,3450\r\n030,3,601\r\n"));
    ASSERT_TRUE(WriteText(twice, "Id,Value\r\n023,3450\r\n030,3600\r\n023,3400\r\n"));
    ASSERT_TRUE(WriteText(finer, "Id,Value\r\n030,3600\r\n023,3450.5\r\n"));
    struct Case {
        QStringList arguments;
        const char* message;
    };
    const Case cases[] = {
        {Args({"params", "compare"}), "--packs LIST is needed"},
        {Args({"params", "compare", "--packs", "1-2", "--ref-pack", "3", "--ref", "x.prt"}), "not both"},
        {Args({"params", "compare", "--packs", "1-2", "--ref-pack", "17"}), "--ref-pack"},
        {Args({"params", "compare", "--packs", "1-2", "--ref"}) << bad, "Line 3"},
        {Args({"params", "compare", "--packs", "1-2", "--ref"}) << twice, "Line 4: id 23 is given again (first on line 2)"},
        {Args({"params", "compare", "--packs", "1-2", "--ref"}) << finer, "Line 3: 3450.5 has more than the 0 decimal(s)"},
        {Args({"params", "write"}) << good << Words({"--packs", "1-2"}), "needs --yes"},
        {Args({"params", "write"}) << bad << Words({"--packs", "1", "--yes"}), "Line 3"},
        {Args({"time", "--packs", "1-3"}), "time sync"},
        {Args({"history", "alarm", "--packs", "1-2", "--csv"}) << good, "folder"},
        {Args({"history", "alarm", "--packs", "1-2", "--csv", "/proc/no-such/logs"}), "folder"},
    };
    for (const Case& c : cases) {
        // No port: a run that got as far as sending would fail to open it.
        const ToolRun run = RunTool(QStringList{QStringLiteral("--port"), QStringLiteral("/nonexistent/tty")} + c.arguments);
        EXPECT_EQ(run.exitCode, 2) << c.arguments.join(u' ').toStdString() << "\n" << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QLatin1String(c.message))) << run.err.toStdString();
    }
}

// One pack-list rule: each text gives the same packs or the same refusal in
// the core (which the compare and report dialogs call) and in every command
// that takes --packs; "auto" only where polling takes it.
TEST_F(ToolBus, EveryCommandTakesOrRefusesAPackListAsTheCoreDoes)
{
    ASSERT_TRUE(m_folder.isValid());
    using Packs = std::vector<std::uint8_t>;
    constexpr int kPackCount = 4;
    const struct {
        const char* text;
        std::optional<Packs> packs;   // none: refused
        bool pollTakes;               // differs from the list rule for "auto" only
    } cases[] = {
        {"1-16", Packs{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}, true},
        {"1,3,5", Packs{1, 3, 5}, true},
        {" 2 - 4 , 9 ", Packs{2, 3, 4, 9}, true},
        {"ALL", Packs{1, 2, 3, 4}, true},
        {"auto", std::nullopt, true},
        {"1,1", std::nullopt, false},
        {"1,2,2", std::nullopt, false},
        {"1-3,2", std::nullopt, false},
        {"0,1", std::nullopt, false},
        {"0-3", std::nullopt, false},
        {"1-17", std::nullopt, false},
        {"5-3", std::nullopt, false},
        {"one", std::nullopt, false},
        {"1,,2", std::nullopt, false},
    };
    const QString pdf = file("report.pdf");
    std::vector<QStringList> commands = {Args({"params", "compare"}), Args({"time", "sync"}), Args({"history", "work"})};
#ifdef BMS_WITH_REPORT
    commands.push_back(Args({"report", "--pdf"}) << pdf);
#endif
    // No port: a list that is taken fails at opening the port (exit 1), one
    // that is refused is a usage error (exit 2) before it.
    const auto run = [](const QStringList& command, const char* packs) {
        return RunTool(QStringList{QStringLiteral("--port"), QStringLiteral("/nonexistent/tty")} + command
                       << QStringLiteral("--packs") << QString::fromUtf8(packs));
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        QString why;
        const auto packs = ParsePackList(QString::fromUtf8(c.text), kPackCount, &why);
        EXPECT_EQ(packs, c.packs);
        const auto choice = ParsePackChoice(QString::fromUtf8(c.text), kPackCount, nullptr);
        EXPECT_EQ(choice.has_value(), c.pollTakes);
        if (c.packs && choice) {
            EXPECT_EQ(choice->packs, *c.packs);
        }
        for (const QStringList& command : commands) {
            const ToolRun tool = run(command, c.text);
            EXPECT_EQ(tool.exitCode, c.packs ? 1 : 2) << command.join(u' ').toStdString() << "\n" << tool.err.toStdString();
            if (!c.packs) {
                EXPECT_TRUE(tool.err.contains(why)) << tool.err.toStdString();
            }
        }
        const ToolRun poll = run(Args({"poll", "--count", "1"}), c.text);
        EXPECT_EQ(poll.exitCode, c.pollTakes ? 1 : 2) << poll.err.toStdString();
        if (!c.pollTakes) {
            EXPECT_TRUE(poll.err.contains(why)) << poll.err.toStdString();
        }
    }
}

TEST_F(ToolBus, CompareReportsTheDifferingRowsPerPackAndNamesAPackNotRead)
{
    start({QStringLiteral("--fault"), QStringLiteral("silent:4")});
    const QString changed = file("changed.prt");
    ASSERT_TRUE(WriteText(changed, "Id,Value\r\n023,3450\r\n030,3610\r\n"));
    const ToolRun write = m_tool->run(Args({"--address", "3", "params", "write"}) << changed);
    ASSERT_EQ(write.exitCode, 0) << write.err.toStdString();

    const ToolRun compared = m_tool->json(Args({"params", "compare", "--packs", "1-4"}));
    EXPECT_EQ(compared.exitCode, 1);
    EXPECT_TRUE(compared.err.contains(QStringLiteral("pack 4 not read"))) << compared.err.toStdString();
    const std::vector<QJsonObject> rows = compared.json();
    ASSERT_EQ(rows.size(), 3u) << compared.out.toStdString();
    // The run ends with what it read, what not and why, and what differs.
    const QJsonObject summary = rows[2];
    EXPECT_EQ(summary[QStringLiteral("type")].toString(), QStringLiteral("summary"));
    EXPECT_EQ(summary[QStringLiteral("packs_read")].toArray(), QJsonArray({1, 2, 3}));
    const QJsonArray notRead = summary[QStringLiteral("packs_not_read")].toArray();
    ASSERT_EQ(notRead.size(), 1);
    EXPECT_EQ(notRead[0].toObject()[QStringLiteral("pack")].toInt(), 4);
    EXPECT_FALSE(notRead[0].toObject()[QStringLiteral("reason")].toString().isEmpty());
    EXPECT_EQ(summary[QStringLiteral("rows_differ")].toInt(), 2);
    EXPECT_EQ(rows[0][QStringLiteral("id")].toInt(), 23);
    EXPECT_EQ(rows[1][QStringLiteral("id")].toInt(), 30);
    EXPECT_EQ(rows[0][QStringLiteral("values")].toObject()[QStringLiteral("3")].toDouble(), 3450.0);
    EXPECT_EQ(rows[0][QStringLiteral("values")].toObject()[QStringLiteral("1")].toDouble(), 3400.0);
    EXPECT_EQ(rows[0][QStringLiteral("differing")].toArray(), QJsonArray({3}));
    // The silent pack has no value, not a made-up one.
    EXPECT_EQ(rows[0][QStringLiteral("values")].toObject().keys(),
              (QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")}));

    // Against the file, pack 3 is the one that agrees.
    const ToolRun againstFile = m_tool->json(Args({"params", "compare", "--packs", "1-3", "--ref"}) << changed);
    EXPECT_EQ(againstFile.exitCode, 0) << againstFile.err.toStdString();
    ASSERT_EQ(againstFile.json().size(), 3u);
    EXPECT_EQ(againstFile.first()[QStringLiteral("differing")].toArray(), QJsonArray({1, 2}));
    EXPECT_EQ(againstFile.json()[2][QStringLiteral("ids_compared")].toInt(), 2);

    // A silent reference pack is named, and nothing is compared.
    const ToolRun silentReference = m_tool->json(Args({"params", "compare", "--packs", "1-3", "--ref-pack", "4"}));
    EXPECT_EQ(silentReference.exitCode, 1);
    EXPECT_TRUE(silentReference.err.contains(QStringLiteral("The reference pack 4 could not be read: no comparison was made")))
        << silentReference.err.toStdString();
    // The summary, then the failure as an error line.
    ASSERT_EQ(silentReference.json().size(), 2u) << silentReference.out.toStdString();
    EXPECT_TRUE(silentReference.first()[QStringLiteral("rows_differ")].isNull());
    EXPECT_EQ(silentReference.json()[1][QStringLiteral("type")].toString(), QStringLiteral("error"));
}

TEST_F(ToolBus, BatchWriteGoesOnPastASilentPackAndExits1)
{
    start({QStringLiteral("--fault"), QStringLiteral("silent:3")});
    const QString wanted = file("wanted.prt");
    // The address and node number in the file are not copied.
    ASSERT_TRUE(WriteText(wanted, "Id,Value\r\n001,9\r\n011,9\r\n023,3450\r\n"));
    const ToolRun run = m_tool->json(Args({"params", "write"}) << wanted << Words({"--packs", "1-4", "--yes"}));
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    const std::vector<QJsonObject> lines = run.json();
    ASSERT_EQ(lines.size(), 4u) << run.out.toStdString();
    for (const QJsonObject& line : lines) {
        const int pack = line[QStringLiteral("pack")].toInt();
        EXPECT_EQ(line[QStringLiteral("result")].toString(), pack == 3 ? QStringLiteral("not_read") : QStringLiteral("written"));
        EXPECT_EQ(line[QStringLiteral("fields_changed")].toInt(), pack == 3 ? 0 : 1);
        if (pack == 3)
            continue;
        const QByteArray block = m_tool->rawParameterBlock(std::uint8_t(pack));
        ASSERT_FALSE(block.isEmpty());
        RParameter set;
        DecodeParameterBlock(block, set);
        EXPECT_EQ(set.Entries[1].Value, Decimal::fromInt(pack));
        EXPECT_EQ(set.Entries[23].Value, Decimal::fromInt(3450));
    }
}

TEST_F(ToolBus, HistoryOfManyPacksWritesOneFilePerPackAndKindAndReplacesNothing)
{
    start({QStringLiteral("--records"), QStringLiteral("5"), QStringLiteral("--fault"), QStringLiteral("silent:2")});
    const QString folder = file("logs");   // missing: the run makes it and says so
    const ToolRun work = m_tool->json(Args({"history", "work", "--packs", "1-3", "--csv"}) << folder);
    EXPECT_EQ(work.exitCode, 1) << work.err.toStdString();
    EXPECT_TRUE(work.err.contains(QStringLiteral("created the folder"))) << work.err.toStdString();
    EXPECT_TRUE(work.err.contains(QStringLiteral("Pack 2 did not answer"))) << work.err.toStdString();

    // Another run's alarm files for pack 1, one for every second this run
    // may start in: none of them is touched.
    const QDateTime now = QDateTime::currentDateTime();
    QStringList planted;
    for (int second = 0; second < 60; ++second) {
        planted << QStringLiteral("alarm_1_%1.csv").arg(now.addSecs(second).toString(QStringLiteral("yyyyMMddHHmmss")));
        ASSERT_TRUE(WriteText(QDir(folder).filePath(planted.back()), "keep\n"));
    }
    const ToolRun alarm = m_tool->json(Args({"history", "alarm", "--packs", "1-3", "--csv"}) << folder);
    EXPECT_EQ(alarm.exitCode, 1) << alarm.err.toStdString();
    EXPECT_FALSE(alarm.err.contains(QStringLiteral("created the folder")));

    const QStringList files = QDir(folder).entryList({QStringLiteral("*.csv")}, QDir::Files, QDir::Name);
    QStringList written;
    for (const QString& name : files) {
        QFile csv(QDir(folder).filePath(name));
        ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
        const QByteArray text = csv.readAll();
        if (planted.contains(name)) {
            EXPECT_EQ(text, "keep\n") << name.toStdString();
            continue;
        }
        written << name;
        EXPECT_EQ(text.count("\r\n"), 6) << name.toStdString();   // header and 5 records
    }
    // The silent pack leaves no file behind; the other two have one of each
    // kind, the alarm file of pack 1 under a name of its own.
    ASSERT_EQ(written.size(), 4) << files.join(u' ').toStdString();
    const char* prefixes[] = {"alarm_1_", "alarm_3_", "work_1_", "work_3_"};
    for (int k = 0; k < 4; ++k)
        EXPECT_TRUE(written[k].startsWith(QLatin1String(prefixes[k]))) << written[k].toStdString();
    EXPECT_TRUE(written[0].endsWith(QStringLiteral("_2.csv"))) << written[0].toStdString();
}

TEST_F(ToolBus, TimeSyncGivesNullForAnOffsetItCouldNotRead)
{
    // Every clock read is refused; every clock is still set.
    start({QStringLiteral("--fault"), QStringLiteral("rtn:4D:04")});
    const ToolRun run = m_tool->json(Args({"time", "sync", "--packs", "1-2"}));
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const std::vector<QJsonObject> lines = run.json();
    ASSERT_EQ(lines.size(), 2u) << run.out.toStdString();
    for (const QJsonObject& line : lines) {
        EXPECT_TRUE(line[QStringLiteral("offset_s")].isNull()) << run.out.toStdString();
        EXPECT_EQ(line[QStringLiteral("result")].toInt(), 0);
        EXPECT_EQ(line[QStringLiteral("reach")].toString(), QStringLiteral("asked"));
    }
}

} // namespace
