// bmstool's single commands against bms-sim on a pseudo-terminal: writes
// that read back, values refused before anything is sent, error texts and
// help.

#include "commands.h"
#include "tool_process.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

namespace {

class ToolCommands : public ::testing::Test {
protected:
    void start(const QStringList& simArguments = {})
    {
        m_tool = std::make_unique<ToolOnSim>(simArguments);
        ASSERT_TRUE(m_tool->isReady()) << m_tool->error().toStdString();
    }

    // Runs a command that must succeed and returns its JSON answer.
    QJsonObject ok(std::initializer_list<const char*> words)
    {
        const ToolRun run = m_tool->json(Words(words));
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        return run.first();
    }

    std::unique_ptr<ToolOnSim> m_tool;
};

TEST_F(ToolCommands, ConfigurationWritesReadBack)
{
    start();
    ok({"time", "set", "2024-05-01 08:00:00"});
    EXPECT_TRUE(ok({"time"})["pack_time"].toString().startsWith(QStringLiteral("2024-05-01 08:0")));

    ok({"barcode", "set", "  PK-0001  "});
    EXPECT_EQ(ok({"barcode"})["bar_code"].toString(), QStringLiteral("PK-0001"));

    // The pack keeps capacities in steps of 10 mAh. Pinned as ours, so that
    // no live read confirms the family in between: the simulated pack counts
    // its charge at every live read.
    ok({"--family", "1:ours", "capacity", "set", "100000", "98000", "50005"});
    const QJsonObject capacity = ok({"--family", "1:ours", "capacity"});
    EXPECT_EQ(capacity["design_mAh"].toInt(), 100000);
    EXPECT_EQ(capacity["full_mAh"].toInt(), 98000);
    EXPECT_EQ(capacity["remaining_mAh"].toInt(), 50000);

    ok({"packs", "set", "7"});
    EXPECT_EQ(ok({"packs"})["packs"].toInt(), 7);

    ok({"cycles", "set", "321"});
    EXPECT_EQ(ok({"analog"})["cycles"].toInt(), 321);

    const QJsonObject written = ok({"record-time", "set", "06:30", "22:15", "120"});
    EXPECT_EQ(written["type"].toString(), QStringLiteral("write"));
    EXPECT_EQ(written["result"].toInt(), 0);
}

TEST_F(ToolCommands, MaintenanceWritesReadBackExactly)
{
    start();
    // Temperatures travel in tenths of a degree: 25.6 comes back as 25.6.
    const ToolRun calibrated = m_tool->json(Words({"calibration", "write", "3", "5", "25.6", "1.5"}));
    ASSERT_EQ(calibrated.exitCode, 0) << calibrated.err.toStdString();
    EXPECT_TRUE(calibrated.out.contains(QStringLiteral("\"first\":25.6,\"second\":1.5")));
    const QJsonObject read = ok({"calibration", "read", "3", "5"});
    EXPECT_EQ(read["first"].toDouble(), 25.6);
    const QJsonObject reset = ok({"calibration", "reset", "3", "5"});
    EXPECT_NE(reset["first"].toDouble(), 25.6);

    ok({"product", "set", "ACME Cells", "", "M16", "V1.2", "LFP", "SN0001", "rack A"});
    const QJsonObject product = ok({"product"});
    EXPECT_EQ(product["company"].toString(), QStringLiteral("ACME Cells"));
    EXPECT_EQ(product["production_date"].toString(), QString());
    EXPECT_EQ(product["remark"].toString(), QStringLiteral("rack A"));

    ok({"shield", "set", "0x00000003"});
    EXPECT_EQ(ok({"shield"})["mask"].toInteger(), 3);

    ok({"discharge", "set", "1234.5", "61.72"});
    const ToolRun discharge = m_tool->json(Words({"discharge"}));
    EXPECT_TRUE(discharge.out.contains(QStringLiteral("\"capacity_Ah\":1234.5,\"energy_kWh\":61.72")))
        << discharge.out.toStdString();

    EXPECT_EQ(ok({"switches", "0x01F8"})["in_force"].toInt(), 0x01F8);

    ok({"delete", "work"});
    const std::vector<QJsonObject> empty = m_tool->json(Words({"history", "work"})).json();
    ASSERT_EQ(empty.size(), 1u);
    EXPECT_EQ(empty.front()["records"].toInt(), 0);
    EXPECT_EQ(empty.front()["reason"].toString(), QStringLiteral("end"));

    EXPECT_EQ(ok({"sleep"})["result"].toInt(), 0);
}

TEST_F(ToolCommands, BadArgumentsAreRefusedBeforeThePortIsOpened)
{
    const std::string longWord(300, 'x');
    // The port does not exist: a usage error must come before any port error.
    const QStringList port = {QStringLiteral("--port"), QStringLiteral("/nonexistent/ttyBMS")};
    struct Refused {
        Refused(const QStringList& w, const char* s = "") : words(w), says(QString::fromUtf8(s)) {}
        QStringList words;
        QString says;   // part of the message
    };
    const std::vector<Refused> bad = {
        Words({}),
        Words({"frobnicate"}),
        Words({"--address", "17", "analog"}),
        Words({"--address", "0", "analog"}),
        Words({"--lang", "fr", "analog"}),
        Words({"--baud", "fast", "analog"}),
        {Words({"--rs485", "sideways", "analog"}), "unknown RS485 mode \"sideways\""},
        Words({"--port", "COM20", "analog"}),   // the window's ports end at COM16
        Words({"analog", "extra"}),
        Words({"time", "set", "2024-13-01 00:00:00"}),
        Words({"time", "set", "yesterday"}),
        Words({"barcode", "set", "   "}),
        Words({"barcode", "set", "0123456789012345678901234567890"}),
        Words({"capacity", "set", "100", "200"}),
        Words({"capacity", "set", "700000", "1", "1"}),
        Words({"capacity", "set", "-1", "1", "1"}),
        Words({"cycles", "set", "10000"}),
        Words({"packs", "set", "17"}),
        Words({"packs", "set", "0"}),
        Words({"record-time", "set", "24:00", "23:59", "60"}),
        Words({"record-time", "set", "00:00", "23:59", "70000"}),
        Words({"delete", "everything"}),
        Words({"calibration", "read", "1", "13"}),
        Words({"calibration", "write", "1", "11", "3300.5", "3300"}),
        Words({"calibration", "write", "2", "21", "-", "0"}),
        {Words({"calibration", "write", "1", "11", "2147483648", "0"}), "does not fit the 32-bit"},
        {Words({"calibration", "write", "3", "5", "25.67", "0"}), "0.1 degC: \"25.67\" would be sent as 25.6"},
        {Words({"help", "nosuch"}), "unknown command \"nosuch\""},
        {Words({"barcode", "set", "PK\x1b[2J"}), "\"PK\\x1b[2J\""},
        // Bytes that are not UTF-8 reach the tool as U+FFFD.
        {QStringList{QStringLiteral("barcode"), QStringLiteral("set"), QStringLiteral("PK\uFFFD")}, "not UTF-8"},
        {Words({"product", "set", "ACME\tCells", "", "M", "V1", "LFP", "SN", "remark"}), "control character"},
        {Words({"cycles", "set", longWord.c_str()}), "xxx...\""},
        {Words({"params", "read", "--out", "/proc/pack1.prt"}), "cannot write"},
        {Words({"history", "work", "--csv", "/proc/work.csv"}), "cannot write"},
        {Words({"poll", "--csv", "/proc/logs"}), "cannot create files"},
        {Words({"poll", "--csv", "/dev/null"}), "cannot create files"},
        Words({"product", "set", "ACME", "", "", "V1", "LFP", "SN", "remark"}),
        Words({"product", "set", "ACME", "2024-05-01-extra", "M", "V1", "LFP", "SN", "remark"}),
        Words({"switches", "0x10000"}),
        Words({"shield", "set", "4294967296"}),
        Words({"discharge", "set", "-1", "0"}),
        Words({"params", "write", "/nonexistent/file.prt"}),
        Words({"params", "read", "--restore-defaults"}),
        Words({"params", "read", "--bogus"}),
        Words({"history", "everything"}),
        Words({"history", "work", "--csv", "/nonexistent/folder/log.csv"}),
        Words({"poll", "--count", "0"}),
        Words({"poll", "--interval", "-5"}),
        {Words({"poll", "--mqtt", "http://broker"}), "only mqtt:// is supported"},
        {Words({"poll", "--mqtt", "mqtt://broker:65536"}), "the port must be 1-65535"},
        {Words({"poll", "--mqtt", "mqtt://"}), "the host is missing"},
        {Words({"poll", "--mqtt", "mqtt://broker", "--mqtt-prefix", "bms/#"}), "--mqtt-prefix"},
        {Words({"poll", "--mqtt", "mqtt://broker", "--mqtt-queue", "0"}), "--mqtt-queue"},
        {Words({"poll", "--mqtt", "mqtt://broker", "--mqtt-password-file", "/nonexistent/pw"}), "cannot read"},
        {Words({"poll", "--mqtt", "mqtt://u:pw@broker", "--mqtt-password-file", "/dev/null"}), "password once"},
        {Words({"poll", "--mqtt-retain"}), "goes with --mqtt URL"},
        {Words({"--family", "3", "analog"}), "--family takes ADDRESS:FAMILY"},
        {Words({"--family", "3:E", "analog"}), "\"E\" is no family"},
        {Words({"--family", "256:B", "analog"}), "no address"},
        {Words({"--family", "1:A", "analog"}), "family A take addresses 2 to 255"},
        {Words({"--family", "3:A", "alarm", "--family=3:b"}), "--family names address 3 twice, as A and as B"},
    };
    static const QRegularExpression controls(QStringLiteral("[\\x00-\\x09\\x0b-\\x1f\\x7f]"));
    for (const auto& [words, says] : bad) {
        const ToolRun run = RunTool(port + words);
        EXPECT_TRUE(run.err.contains(says)) << run.err.toStdString();
        EXPECT_EQ(run.exitCode, 2) << words.join(QLatin1Char(' ')).toStdString() << "\n" << run.err.toStdString();
        EXPECT_FALSE(run.err.isEmpty()) << words.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << words.join(QLatin1Char(' ')).toStdString();
        // Input is quoted briefly and never as raw control characters.
        EXPECT_FALSE(run.err.contains(controls)) << run.err.toStdString();
        EXPECT_FALSE(run.err.contains(QString::fromStdString(longWord.substr(0, 61)))) << run.err.toStdString();
    }
    // Under --json a usage error is an error line as well.
    const ToolRun json = RunTool(port + Words({"--json", "poll", "--metrics", ":19477"}));
    EXPECT_EQ(json.exitCode, 2);
    EXPECT_EQ(json.first()["type"].toString(), QStringLiteral("error")) << json.out.toStdString();
    EXPECT_TRUE(json.first()["error"].toString().contains(QStringLiteral("the address before \":\" is missing")))
        << json.out.toStdString();
    // The same port with good arguments is a failed command, not a usage error.
    EXPECT_EQ(RunTool(port + Words({"analog"})).exitCode, 1);
}

// Another maker's pack is only read: a pinned one and one found by reads
// alike refuse every other command with one message naming the pack and
// its family, in the chosen language, exit status 1.
TEST_F(ToolCommands, AnotherMakersPackRefusesEveryCommandButItsReadsByName)
{
    start({QStringLiteral("--family"), QStringLiteral("3:B"), QStringLiteral("--family"), QStringLiteral("4:D")});
    struct Refusal {
        QStringList words;
        QString says;
    };
    const QString b = QStringLiteral("Pack 3 is of family B: only its live values are read");
    const Refusal refusals[] = {
        {Words({"--lang", "en", "--family", "3:B", "--address", "3", "sleep"}), b},
        {Words({"--lang", "en", "--address", "3", "capacity", "set", "1", "1", "1"}), b},
        {Words({"--lang", "en", "--address", "4", "params", "read"}),
         QStringLiteral("Pack 4 is of family D: only its live values are read")},
        {Words({"--lang", "zh", "--address", "3", "barcode"}), QStringLiteral("电池包 3 属于协议族 B：只读取其实时数据")},
    };
    for (const Refusal& refusal : refusals) {
        const ToolRun run = m_tool->run(refusal.words);
        EXPECT_EQ(run.exitCode, 1) << refusal.words.join(u' ').toStdString();
        EXPECT_EQ(run.err.trimmed(), refusal.says) << run.err.toStdString();
    }
    const ToolRun json = m_tool->json(Words({"--lang", "en", "--address", "3", "time", "set", "2024-05-01 08:00:00"}));
    EXPECT_EQ(json.first()["result"].toInt(), 0xA7);
    EXPECT_EQ(json.first()["error"].toString(), b);
    // Its reads go on, in its own family.
    const QJsonObject info = ok({"--family", "4:D", "--address", "4", "info"});
    EXPECT_EQ(info["family"].toString(), QStringLiteral("D"));
    EXPECT_FALSE(info["serial_number"].toString().isEmpty());
    EXPECT_EQ(ok({"--address", "1", "info"})["family"].toString(), QStringLiteral("ours"));
}

TEST(ToolFamilyTexts, AnAddressWithoutAFamilySaysWhatItsAnswersHad)
{
    RPackFamilyState noFit;
    noFit.problem = RPackFamilyState::Problem::NoFit;
    noFit.misfit = RFamilyFit{PackFamily::Unknown, 0x20, 0x4A, 0, 7};
    RPackFamilyState cut = noFit;
    cut.misfit.userDefinedCount = -1;
    RPackFamilyState refused = noFit;
    refused.misfit.rtn = 0x01;
    RPackFamilyState two;
    two.problem = RPackFamilyState::Problem::TwoFamilies;
    two.misfit.family = PackFamily::A;
    two.second = PackFamily::B;
    RPackFamilyState pinned{PackFamily::D, true, RPackFamilyState::Problem::PinnedMisfit,
                            RFamilyFit{PackFamily::B, 0x20, 0x46, 0, 10}, PackFamily::Unknown};
    const std::pair<RPackFamilyState, const char*> cases[] = {
        {noFit, "its answer (VER 0x20, CID1 0x4A, user-defined count 7) fits no family"},
        {cut, "its answer (VER 0x20, CID1 0x4A, ending before its user-defined count) fits no family"},
        {refused, "its answer (VER 0x20, CID1 0x4A, RTN 0x01) fits no family"},
        {two, "packs of two families answer at this address (A and B): check the addresses"},
        {pinned, "its answer (VER 0x20, CID1 0x46, user-defined count 10) does not fit the pinned family D"},
        {RPackFamilyState{}, ""},
    };
    for (const auto& [state, text] : cases)
        EXPECT_EQ(FamilyProblemText(state), QString::fromUtf8(text));
}

TEST_F(ToolCommands, RefusedValuesLeaveThePackAsItWas)
{
    start();
    ok({"barcode", "set", "ORIGINAL"});
    ok({"capacity", "set", "50000", "50000", "20000"});
    EXPECT_EQ(m_tool->run(Words({"barcode", "set", "0123456789012345678901234567890"})).exitCode, 2);
    EXPECT_EQ(m_tool->run(Words({"capacity", "set", "655360", "50000", "20000"})).exitCode, 2);
    EXPECT_EQ(m_tool->run(Words({"packs", "set", "20"})).exitCode, 2);
    EXPECT_EQ(ok({"barcode"})["bar_code"].toString(), QStringLiteral("ORIGINAL"));
    EXPECT_EQ(ok({"capacity"})["design_mAh"].toInt(), 50000);
}

TEST_F(ToolCommands, FailureGivesTheErrorTextInTheChosenLanguage)
{
    start({QStringLiteral("--fault"), QStringLiteral("silent:1")});
    const ToolRun chinese = m_tool->run(Words({"--lang", "zh", "analog"}));
    EXPECT_EQ(chinese.exitCode, 1);
    EXPECT_TRUE(chinese.err.contains(QStringLiteral("175--设备无应答"))) << chinese.err.toStdString();
    EXPECT_TRUE(chinese.out.isEmpty());
    // The port that was opened is named: a newcomer sees what was asked.
    EXPECT_TRUE(chinese.err.contains(m_tool->sim().linkPath())) << chinese.err.toStdString();

    // --trace shows the exchange that failed, with its reason (the pack
    // pinned as ours: no live reads confirm its family first).
    const ToolRun english = m_tool->run(Words({"--lang", "en", "--trace", "--family", "1:ours", "barcode"}));
    EXPECT_EQ(english.exitCode, 1);
    EXPECT_TRUE(english.err.contains(QStringLiteral("175--No answer from the pack"))) << english.err.toStdString();
    EXPECT_TRUE(english.err.contains(QStringLiteral(" ADR 01 ReadBarCode [175--No answer from the pack] TX ~")))
        << english.err.toStdString();

    // Another pack on the same bus still answers; its answer is traced as
    // received. The port is named by a path relative to the working folder.
    QTemporaryDir here(QDir::current().filePath(QStringLiteral("port-XXXXXX")));
    ASSERT_TRUE(here.isValid());
    ASSERT_TRUE(QFile::link(m_tool->sim().linkPath(), here.filePath(QStringLiteral("tty"))));
    const QString relative = QDir::current().relativeFilePath(here.filePath(QStringLiteral("tty")));
    ASSERT_FALSE(relative.startsWith(QLatin1Char('.'))) << relative.toStdString();
    const ToolRun other = RunTool(QStringList{QStringLiteral("--port"), relative} +
                                  Words({"--lang", "en", "--trace", "--address", "2", "info"}));
    EXPECT_EQ(other.exitCode, 0);
    EXPECT_TRUE(QRegularExpression(QStringLiteral(R"(\d\d:\d\d:\d\d\.\d{3} \d+ms ADR 02 ReadDeviceInfo \[0--Success\] )"
                                                  R"(TX ~[0-9A-F]+\\r RX ~[0-9A-F]+\\r)"))
                    .match(other.err)
                    .hasMatch())
        << other.err.toStdString();
}

TEST_F(ToolCommands, LiveAnswersParseAsJsonWithExactDecimals)
{
    start();
    const ToolRun analog = m_tool->json(Words({"--address", "2", "analog"}));
    ASSERT_EQ(analog.exitCode, 0) << analog.err.toStdString();
    const QJsonObject reading = analog.first();
    ASSERT_FALSE(reading.isEmpty()) << analog.out.toStdString();
    EXPECT_EQ(reading["pack"].toInt(), 2);
    EXPECT_EQ(reading["cells_mV"].toArray().size(), 16);
    EXPECT_EQ(reading["temps_C"].toArray().size(), 4);
    EXPECT_EQ(reading["balancing"].toArray().size(), 16);
    for (const char* field : {"voltage_V", "current_A", "ambient_C", "fet_C", "remaining_Ah", "full_Ah", "cycles",
                              "soc", "soh", "humidity"})
        EXPECT_TRUE(reading[QLatin1String(field)].isDouble()) << field;
    // Decimal values are written as their exact digits: no exponent, no
    // binary rounding tail, at most the four decimals the store holds.
    static const QRegularExpression number(QStringLiteral("\"voltage_V\":(-?[0-9]+(\\.[0-9]{1,4})?),"));
    EXPECT_TRUE(number.match(analog.out).hasMatch()) << analog.out.toStdString();

    const QJsonObject alarm = ok({"alarm"});
    EXPECT_EQ(alarm["status"].toArray().size(), 16);
    EXPECT_TRUE(alarm.contains(QStringLiteral("short_circuit")));
    EXPECT_TRUE(alarm["states"].isArray());

    const QJsonObject info = ok({"info"});
    EXPECT_FALSE(info["device_name"].toString().isEmpty());
    EXPECT_TRUE(ok({"location"}).contains(QStringLiteral("imei")));
}

TEST_F(ToolCommands, HelpExplainsEveryCommandWithAnExample)
{
    const ToolRun help = RunTool(Words({"--help"}));
    ASSERT_EQ(help.exitCode, 0);
    const qsizetype listStart = help.out.indexOf(QStringLiteral("commands:\n"));
    ASSERT_GE(listStart, 0);
    QStringList names;
    for (const QString& line : help.out.mid(listStart).split(QLatin1Char('\n')).mid(1)) {
        if (!line.startsWith(QStringLiteral("  ")))
            break;
        names << line.trimmed().section(QLatin1Char(' '), 0, 0);
    }
    // Every command of the table, each once.
    EXPECT_EQ(names.size(), qsizetype(Commands().size()));
    EXPECT_EQ(QSet<QString>(names.begin(), names.end()).size(), names.size());
    for (const QString& name : names) {
        const ToolRun one = RunTool({name, QStringLiteral("--help")});
        EXPECT_EQ(one.exitCode, 0) << name.toStdString();
        EXPECT_TRUE(one.out.contains(QStringLiteral("example:\n  bmstool"))) << name.toStdString();
        // Files are named as they are written.
        if (name == u"history") {
            EXPECT_TRUE(one.out.contains(QStringLiteral("work_PACK_")) && one.out.contains(QStringLiteral("alarm_PACK_")))
                << one.out.toStdString();
        }
    }
}

} // namespace
