// bmstool's longer runs against bms-sim on a pseudo-terminal: parameter
// files, whole record logs and the polling cycle, with the files they write.

#include "tool_process.h"

#include "params/parameter_block.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>

#include <map>

#include <gtest/gtest.h>

#ifdef Q_OS_UNIX
#include <signal.h>
#include <sys/types.h>
#endif

namespace {

QStringList Lines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(file.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
}

std::vector<QJsonObject> OfType(const std::vector<QJsonObject>& objects, const char* type)
{
    std::vector<QJsonObject> matching;
    for (const QJsonObject& object : objects)
        if (object[QStringLiteral("type")].toString() == QLatin1String(type))
            matching.push_back(object);
    return matching;
}

class ToolTransfers : public ToolOnSimTest {};

TEST_F(ToolTransfers, SavedParameterFileWrittenBackLeavesTheBlockByteIdentical)
{
    start();
    const QByteArray before = m_tool->rawParameterBlock(1);
    ASSERT_FALSE(before.isEmpty());
    const QString saved = file("pack1.prt");
    const ToolRun read = m_tool->run({QStringLiteral("params"), QStringLiteral("read"), QStringLiteral("--out"), saved});
    ASSERT_EQ(read.exitCode, 0) << read.err.toStdString();
    ASSERT_TRUE(QFile::exists(saved));

    const ToolRun write = m_tool->run({QStringLiteral("params"), QStringLiteral("write"), saved});
    ASSERT_EQ(write.exitCode, 0) << write.err.toStdString();
    EXPECT_EQ(m_tool->rawParameterBlock(1), before);
    // What the write prints is what the pack now holds.
    EXPECT_EQ(write.out, read.out);
}

TEST_F(ToolTransfers, EditedParameterFileChangesOnlyWhatItCarries)
{
    start();
    const ToolRun read = m_tool->json({QStringLiteral("params"), QStringLiteral("read")});
    ASSERT_EQ(read.exitCode, 0) << read.err.toStdString();
    // A ranged parameter whose value is not its minimum gets its minimum.
    QJsonObject chosen;
    for (const QJsonValue entry : read.first()[QStringLiteral("parameters")].toArray()) {
        const QJsonObject parameter = entry.toObject();
        if (parameter.contains(QStringLiteral("min")) && parameter[QStringLiteral("id")].toInt() > 1
            && parameter[QStringLiteral("value")].toDouble() != parameter[QStringLiteral("min")].toDouble()) {
            chosen = parameter;
            break;
        }
    }
    ASSERT_FALSE(chosen.isEmpty());
    const int id = chosen[QStringLiteral("id")].toInt();
    const double minimum = chosen[QStringLiteral("min")].toDouble();

    // A file with a header and that one line: everything else keeps the pack's values.
    const QString edited = file("one.prt");
    QFile out(edited);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(QStringLiteral("ID,Value\r\n%1,%2\r\n").arg(id, 3, 10, QLatin1Char('0')).arg(minimum).toLatin1());
    out.close();
    const QByteArray before = m_tool->rawParameterBlock(1);
    const ToolRun write = m_tool->json({QStringLiteral("params"), QStringLiteral("write"), edited});
    ASSERT_EQ(write.exitCode, 0) << write.err.toStdString();

    const QJsonArray after = m_tool->json({QStringLiteral("params"), QStringLiteral("read")})
                                 .first()[QStringLiteral("parameters")].toArray();
    const QJsonArray previous = read.first()[QStringLiteral("parameters")].toArray();
    ASSERT_EQ(after.size(), previous.size());
    for (qsizetype i = 0; i < after.size(); ++i) {
        const QJsonObject now = after[i].toObject();
        if (now[QStringLiteral("id")].toInt() == id)
            EXPECT_EQ(now[QStringLiteral("value")].toDouble(), minimum);
        else
            EXPECT_EQ(now, previous[i].toObject());
    }
    EXPECT_NE(m_tool->rawParameterBlock(1), before);
}

// Good files change exactly the ids they name; a refused file names its
// line, sends nothing and leaves the block as it was.
TEST_F(ToolTransfers, ParameterFilesChangeOnlyWhatTheyNameOrNothingAtAll)
{
    struct FileCase {
        const char* what;
        QByteArray text;
        bool throughPipe;
        int exitCode;
        std::vector<std::pair<int, int>> changes;   // id, new value
        const char* errorHas;
    };
    const FileCase cases[] = {
        {"decimal comma", "ID,Value\r\n030,3,601,mV,0.000,0.000,Cell high voltage alarm\r\n", false, 2, {}, "Line 2:"},
        {"no header", "030,3601\r\n020,2\r\n", false, 0, {{30, 3601}, {20, 2}}, ""},
        {"switch 5", "ID,Value\r\n030,3602\r\n242,5\r\n", false, 2, {}, "Line 3:"},
        {"field overflow", "ID,Value\r\n030,3603\r\n023,70000\r\n", false, 2, {}, "0..65535"},
        {"outside the range", "ID,Value\r\n001,999.000\r\n", false, 2, {}, "Line 2:"},
        {"partial file", "ID,Value\r\n011,15\r\n031,3333\r\n", false, 0, {{11, 15}, {31, 3333}}, ""},
        {"pipe", "ID,Value\r\n030,3590\r\n", true, 0, {{30, 3590}}, ""},
    };
    start();
    TParameterInfo catalogue;
    const auto decoded = [&catalogue](const QByteArray& block) {
        RParameter set = catalogue.NewParameterSet(1);
        DecodeParameterBlock(block, set);
        return set;
    };
    for (const FileCase& fileCase : cases) {
        SCOPED_TRACE(fileCase.what);
        const QByteArray before = m_tool->rawParameterBlock(1);
        ASSERT_FALSE(before.isEmpty());
        ToolRun run;
        if (fileCase.throughPipe) {
            // As a shell hands it over: bmstool ... params write <(...)
            ChildProcess shell;
            ASSERT_TRUE(shell.start(QStringLiteral("/bin/bash"),
                                    {QStringLiteral("-c"), QStringLiteral("exec \"$0\" --port \"$1\" params write <(printf %s \"$2\")"),
                                     QStringLiteral(BMS_TOOL_PROGRAM), m_tool->sim().linkPath(),
                                     QString::fromLatin1(fileCase.text)}));
            ASSERT_TRUE(shell.waitForFinished(120000));
            run.exitCode = shell.exitCode();
            run.err = QString::fromUtf8(shell.standardError());
        } else {
            const QString path = file("case.prt");
            QFile out(path);
            ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
            out.write(fileCase.text);
            out.close();
            run = m_tool->run({QStringLiteral("params"), QStringLiteral("write"), path});
        }
        EXPECT_EQ(run.exitCode, fileCase.exitCode) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QLatin1String(fileCase.errorHas))) << run.err.toStdString();
        const QByteArray after = m_tool->rawParameterBlock(1);
        if (fileCase.changes.empty()) {
            EXPECT_EQ(after, before);
            continue;
        }
        RParameter expected = decoded(before);
        for (const auto& [id, value] : fileCase.changes)
            TParameterInfo::SetParameterInt(id, value, expected);
        EXPECT_EQ(decoded(after), expected);
    }
}

TEST_F(ToolTransfers, HistoryReadsTheWholeLogAndStopsAtItsEndMark)
{
    start();
    const QString csv = file("alarms.csv");
    const ToolRun run = m_tool->run({QStringLiteral("--json"), QStringLiteral("--lang"), QStringLiteral("en"),
                                     QStringLiteral("history"), QStringLiteral("alarm"), QStringLiteral("--csv"), csv});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const std::vector<QJsonObject> objects = run.json();
    const std::vector<QJsonObject> records = OfType(objects, "alarm_record");
    ASSERT_EQ(records.size(), 50u);   // the simulator's log length
    for (std::size_t i = 0; i < records.size(); ++i)
        EXPECT_EQ(records[i][QStringLiteral("row")].toInt(), int(i) + 1);
    EXPECT_EQ(records.front()[QStringLiteral("cells_mV")].toArray().size(), 16);
    EXPECT_TRUE(records.front().contains(QStringLiteral("alarm_text")));
    const QJsonObject end = objects.back();
    EXPECT_EQ(end[QStringLiteral("type")].toString(), QStringLiteral("history_end"));
    EXPECT_EQ(end[QStringLiteral("reason")].toString(), QStringLiteral("end"));
    EXPECT_EQ(end[QStringLiteral("records")].toInt(), 50);

    const QStringList lines = Lines(csv);
    ASSERT_EQ(lines.size(), 51);
    EXPECT_TRUE(lines.front().startsWith(QStringLiteral("No.,PackNo,Time,Mode,")));
    for (const QString& line : lines)
        EXPECT_EQ(line.count(QLatin1Char(',')), 35) << line.toStdString();
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("1,1,")));
    // The bar code read at the start ends every row.
    EXPECT_FALSE(lines[1].endsWith(QLatin1Char(',')));
}

TEST_F(ToolTransfers, PollWithASilentPackReportsNoAnswerAndKeepsGoing)
{
    start({QStringLiteral("--fault"), QStringLiteral("silent:2")});
    const QString logs = file("logs");
    const ToolRun run = m_tool->run({QStringLiteral("--json"), QStringLiteral("poll"), QStringLiteral("--packs"),
                                     QStringLiteral("1,2"), QStringLiteral("--count"), QStringLiteral("2"),
                                     QStringLiteral("--csv"), logs});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const std::vector<QJsonObject> objects = run.json();
    for (const QJsonObject& object : objects)
        EXPECT_FALSE(object.isEmpty());
    const std::vector<QJsonObject> analog = OfType(objects, "analog");
    const std::vector<QJsonObject> errors = OfType(objects, "error");
    ASSERT_EQ(analog.size(), 2u);
    // The analog read of each pass: nothing more is asked of a pack whose
    // family its live values have not told.
    ASSERT_EQ(errors.size(), 2u);
    for (const QJsonObject& reading : analog)
        EXPECT_EQ(reading[QStringLiteral("pack")].toInt(), 1);
    for (const QJsonObject& error : errors) {
        EXPECT_EQ(error[QStringLiteral("pack")].toInt(), 2);
        EXPECT_EQ(error[QStringLiteral("result")].toInt(), 0xAF);
    }
    // Several packs: analog and alarm only, as with "Auto" in the main window.
    EXPECT_TRUE(OfType(objects, "status").empty());
    EXPECT_EQ(OfType(objects, "alarm").size(), 2u);

    const QStringList files = QDir(logs).entryList(QDir::Files);
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(files.front().startsWith(QStringLiteral("1_")));
    const QStringList lines = Lines(QDir(logs).filePath(files.front()));
    ASSERT_EQ(lines.size(), 3);   // the header once, then one row per reading
    for (const QString& line : lines)
        EXPECT_EQ(line.count(QLatin1Char(',')), 38);   // 39 columns, the family last
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("1,01,")));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("2,01,")));
}

TEST_F(ToolTransfers, PollReportsTheResultCodeOfEachFailedExchange)
{
    // The alarm read fails with the pack's own return code; analog still comes.
    start({QStringLiteral("--fault"), QStringLiteral("rtn:44:E1")});
    const QStringList poll = {QStringLiteral("--json"), QStringLiteral("--lang"), QStringLiteral("en"),
                              QStringLiteral("poll"), QStringLiteral("--packs"), QStringLiteral("1,2"),
                              QStringLiteral("--count"), QStringLiteral("1")};
    const ToolRun partly = m_tool->run(poll);
    EXPECT_EQ(partly.exitCode, 0) << partly.err.toStdString();
    EXPECT_EQ(OfType(partly.json(), "analog").size(), 2u);
    const std::vector<QJsonObject> errors = OfType(partly.json(), "error");
    ASSERT_EQ(errors.size(), 2u);
    for (const QJsonObject& error : errors) {
        EXPECT_EQ(error[QStringLiteral("command")].toString(), QStringLiteral("alarm"));
        EXPECT_EQ(error[QStringLiteral("result")].toInt(), 0xE1);
        EXPECT_TRUE(error[QStringLiteral("error")].toString().startsWith(QStringLiteral("225--")));
    }

    // No reading at all: exit 1 with the real result, not "no answer".
    start({QStringLiteral("--fault"), QStringLiteral("rtn:42:E1"), QStringLiteral("--fault"),
           QStringLiteral("rtn:44:E1")});
    const ToolRun none = m_tool->run(poll);
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(OfType(none.json(), "error").size(), 2u);   // no family known: only the analog reads
    EXPECT_TRUE(none.err.contains(QStringLiteral("225--"))) << none.err.toStdString();
    EXPECT_FALSE(none.err.contains(QStringLiteral("No answer"))) << none.err.toStdString();
}

// Answers carry no command code: a pack that answers after its window must
// not have its late answer taken for the reply to the next request.
TEST_F(ToolTransfers, LateAnswersAreNeverTakenForTheNextCommand)
{
    start({QStringLiteral("--fault"), QStringLiteral("slow:2:1500")});
    const ToolRun run = m_tool->run({QStringLiteral("--json"), QStringLiteral("poll"), QStringLiteral("--packs"),
                                     QStringLiteral("1-3"), QStringLiteral("--count"), QStringLiteral("2")});
    ASSERT_TRUE(run.finished) << run.err.toStdString();
    const std::vector<QJsonObject> objects = run.json();
    for (const char* type : {"analog", "alarm"}) {
        std::map<int, int> readingsPerPack;
        for (const QJsonObject& reading : OfType(objects, type))
            ++readingsPerPack[reading[QStringLiteral("pack")].toInt()];
        EXPECT_EQ(readingsPerPack, (std::map<int, int>{{1, 2}, {3, 2}})) << type;
    }
    const std::vector<QJsonObject> errors = OfType(objects, "error");
    EXPECT_FALSE(errors.empty());
    for (const QJsonObject& error : errors)
        EXPECT_EQ(error[QStringLiteral("pack")].toInt(), 2);
}

// A slow pack's log arrives whole and once each, or the transfer fails
// saying that the pack was too slow; never a record twice.
TEST_F(ToolTransfers, SlowPackHistoryIsWholeOrFailsWithoutDuplicates)
{
    constexpr int kRecords = 6;
    struct Case {
        int delayMs;   // the reply window of a record request is 600 ms
        bool whole;
    };
    for (const Case& c : {Case{450, true}, Case{900, false}, Case{1200, false}}) {
        SCOPED_TRACE(c.delayMs);
        start({QStringLiteral("--records"), QString::number(kRecords), QStringLiteral("--fault"),
               QStringLiteral("delay:%1").arg(c.delayMs)});
        const ToolRun run = m_tool->run({QStringLiteral("--json"), QStringLiteral("history"), QStringLiteral("alarm")});
        std::vector<QJsonObject> records = OfType(run.json(), "alarm_record");
        for (QJsonObject& record : records)
            record.remove(QStringLiteral("row"));
        for (std::size_t i = 0; i < records.size(); ++i)
            for (std::size_t k = 0; k < i; ++k)
                EXPECT_NE(records[i], records[k]) << "record " << i << " repeats " << k;
        if (c.whole) {
            EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
            EXPECT_EQ(records.size(), std::size_t(kRecords));
        } else {
            EXPECT_EQ(run.exitCode, 1);
            EXPECT_TRUE(run.err.contains(QStringLiteral("did not answer in time"))) << run.err.toStdString();
        }
    }
}

TEST_F(ToolTransfers, PollOfOnePackRunsTheFullCycle)
{
    start();
    const ToolRun run = m_tool->run({QStringLiteral("--json"), QStringLiteral("--address"), QStringLiteral("3"),
                                     QStringLiteral("poll"), QStringLiteral("--count"), QStringLiteral("1")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const std::vector<QJsonObject> objects = run.json();
    const std::vector<QJsonObject> status = OfType(objects, "status");
    ASSERT_EQ(status.size(), 1u);
    EXPECT_FALSE(status.front()[QStringLiteral("bar_code")].toString().isEmpty());
    EXPECT_FALSE(status.front()[QStringLiteral("pack_time")].toString().isEmpty());
    ASSERT_EQ(OfType(objects, "analog").size(), 1u);
    EXPECT_EQ(OfType(objects, "analog").front()[QStringLiteral("pack")].toInt(), 3);
    EXPECT_EQ(OfType(objects, "alarm").size(), 1u);
    EXPECT_TRUE(OfType(objects, "error").empty());
}

#ifdef Q_OS_UNIX
TEST_F(ToolTransfers, CtrlCDuringHistoryStopsTheTransferAndKeepsWhatWasRead)
{
    start({QStringLiteral("--records"), QStringLiteral("20000")});
    const QString csv = file("work.csv");
    ChildProcess process;
    ASSERT_TRUE(process.start(QStringLiteral(BMS_TOOL_PROGRAM),
                              {QStringLiteral("--port"), m_tool->sim().linkPath(), QStringLiteral("--json"),
                               QStringLiteral("history"), QStringLiteral("work"), QStringLiteral("--csv"), csv}));
    // Interrupt once the first record is out.
    ASSERT_TRUE(process.waitForLine(30000));
    process.signal(SIGINT);
    ASSERT_TRUE(process.waitForFinished(60000));
    const QByteArray printed = process.standardOutput();
    EXPECT_EQ(process.exitCode(), 130);

    const QList<QByteArray> lines = printed.trimmed().split('\n');
    const QJsonObject end = QJsonDocument::fromJson(lines.back()).object();
    EXPECT_EQ(end[QStringLiteral("reason")].toString(), QStringLiteral("stopped"));
    const int records = end[QStringLiteral("records")].toInt();
    EXPECT_GT(records, 0);
    EXPECT_LT(records, 20000);
    // Every record printed is in the file, each on a whole line.
    EXPECT_EQ(Lines(csv).size(), records + 1);
}
#endif

} // namespace
