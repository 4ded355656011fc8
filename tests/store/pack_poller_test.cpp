// The polling cycle on its own, without the window: packs simulated in
// process behind a link that writes down every request and can answer a
// command in place of the packs. Which commands a pass sends for each page
// and selection, the clock sync, the 90-second rule, the version panel and
// a pass with nothing to poll.

#include "lib/sim_bus.h"
#include "protocol/frame.h"
#include "protocol/result_codes.h"
#include "services/settings.h"
#include "store/devinfo.h"
#include "store/pack_poller.h"
#include "support/scripted_link.h"

#include <QDateTime>
#include <QMutex>
#include <QMutexLocker>
#include <QStringList>

#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <thread>
#include <utility>

namespace {

constexpr char kLinkName[] = "poller-test";
constexpr std::uint8_t kReadDateTime = 0x4D;
constexpr std::uint8_t kWriteDateTime = 0x4E;
constexpr std::uint8_t kReadDeviceInfo = 0x51;

// How the packs behind the scripted link answer: as simulated packs, with
// answers, a code or silence in place of theirs. Changed under the link
// script's mutex.
struct PackScript {
    SimBus bus{SimOptions{}};
    QByteArray lastDateTimeWritten;
    // INFO bytes answered in place of the pack's, by command code.
    std::map<std::uint8_t, QByteArray> answers;
    bool silent = false;
    // A return code every command gets instead of its answer.
    std::optional<std::uint8_t> failWith;

    QByteArray respond(const QByteArray& request)
    {
        frame::ParsedFrame parsed;
        if (!frame::ParseFrame(request, parsed))
            return {};
        if (parsed.cid2 == kWriteDateTime)
            lastDateTimeWritten = parsed.info;
        if (silent)
            return {};
        if (failWith)
            return frame::BuildFrame(parsed.address, *failWith, {});
        if (const auto answer = answers.find(parsed.cid2); answer != answers.end())
            return frame::BuildFrame(parsed.address, 0, answer->second);
        return bus.respond(request).text;
    }
};

// Writes down what the cycle has the window do.
struct RecordingView final : IPollView {
    std::atomic<int> analogRefreshes{0};
    std::atomic<int> alarmRefreshes{0};
    std::atomic<int> locationRefreshes{0};
    std::atomic<std::uint16_t> shownVersion{0};

    void RefreshHead() override {}
    void SetCommState(int) override {}
    void ShowPackTime(const RDeviceTime&, std::uint8_t) override {}
    void ShowStatus(std::uint16_t softwareVersion, const QString&, std::uint8_t) override
    {
        shownVersion = softwareVersion;
    }
    void RefreshAnalog() override { ++analogRefreshes; }
    void RefreshAlarm() override { ++alarmRefreshes; }
    void RefreshLocation() override { ++locationRefreshes; }
};

QByteArray DateTimeBytes(const QDateTime& time)
{
    const QDate date = time.date();
    const QTime clock = time.time();
    const char bytes[] = {char(date.year() >> 8), char(date.year() & 0xFF), char(date.month()), char(date.day()),
                          char(clock.hour()), char(clock.minute()), char(clock.second())};
    return QByteArray(bytes, sizeof bytes);
}

QByteArray DeviceInfoBytes(std::uint16_t version)
{
    QByteArray info(32, '\0');
    info[10] = char(version >> 8);
    info[11] = char(version & 0xFF);
    return info;
}

const QDateTime kCycleTime(QDate(2026, 3, 1), QTime(10, 20, 30));

class PackPollerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_link->respond = [packs = m_packs](const QByteArray& request) { return packs->respond(request); };
        m_store.InitStore();
        ASSERT_TRUE(OpenScriptedLink(m_store.DevOper(), QLatin1String(kLinkName), m_link));
        // A rack of our own packs: the passes are the subject, not the
        // family guard's probe before the first clock read.
        for (std::uint8_t address = 1; address <= 4; ++address)
            m_store.PinFamily(address, PackFamily::Ours);
        m_globals.PortNumber = 1;
        m_poller.SetPlan(Plan(0, 4));
    }

    void TearDown() override { m_store.CloseSerial(1); }

    // The selection as the window leaves it: one pack, or "Auto".
    void Focus(std::uint8_t pack)
    {
        m_globals.SelectedPack = pack;
        m_globals.SelectedAddress = pack;
        m_store.SelectPack(pack);
    }
    void ChooseAuto()
    {
        m_globals.SelectedPack = 0;
        m_globals.SelectedAddress = 255;
        m_store.SelectAllPacks();
    }
    // The plan the window makes for the page shown and the selection.
    static RPollPlan Plan(int page, std::uint8_t packCount, bool allPacks = false, bool clockSync = false)
    {
        return RPollPlan{.idle = page > 3, .packRows = packCount, .allPacks = allPacks, .clockSync = clockSync,
                         .readLocation = page == 3};
    }

    // Requests as "address:CID2", e.g. "1:4D".
    QStringList TakeRequests()
    {
        QStringList taken;
        for (const QByteArray& request : m_link->takeRequests()) {
            frame::ParsedFrame parsed;
            if (frame::ParseFrame(request, parsed))
                taken << QStringLiteral("%1:%2").arg(parsed.address).arg(parsed.cid2, 2, 16, QLatin1Char('0')).toUpper();
        }
        return taken;
    }
    template <typename Change>
    void EditScript(Change change)
    {
        QMutexLocker locker(&m_link->mutex);
        change(*m_packs);
    }

    std::shared_ptr<LinkScript> m_link = std::make_shared<LinkScript>();
    std::shared_ptr<PackScript> m_packs = std::make_shared<PackScript>();
    TDevInfo m_store;
    AppGlobals m_globals;
    RecordingView m_view;
    PackPoller m_poller{m_store, m_globals, m_view, {}};
};

TEST_F(PackPollerTest, APassSendsWhatThePageAndTheSelectionAskFor)
{
    const QStringList single = {"2:4D", "2:E9", "2:51", "2:42", "2:44"};
    struct Case {
        const char* name;
        std::uint8_t page;
        bool autoPolling;
        std::uint8_t packCount;
        QStringList expected;
    } cases[] = {
        {"parameter page", 4, false, 4, {}},
        {"alarm-record page under Auto", 7, true, 4, {}},
        {"live page, pack 2", 0, false, 4, single},
        {"real-time page, pack 2", 2, false, 4, single},
        {"location page, pack 2", 3, false, 4, single + QStringList{"2:F3"}},
        // Under "Auto" no clock, bar code or device information is read.
        {"live page, Auto", 0, true, 2, {"1:42", "1:44", "2:42", "2:44"}},
        {"location page, Auto", 3, true, 2, {"1:42", "1:44", "1:F3", "2:42", "2:44", "2:F3"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_poller.SetPlan(Plan(c.page, c.packCount, c.autoPolling));
        if (c.autoPolling)
            ChooseAuto();
        else
            Focus(2);
        TakeRequests();
        EXPECT_TRUE(m_poller.RunPass());
        EXPECT_EQ(TakeRequests(), c.expected);
    }
}

TEST_F(PackPollerTest, PackClockIsRewrittenOnlyWhenItIsOffByAMinuteOrMore)
{
    struct Case {
        const char* name;
        QDateTime packClock;
        bool clockSync;
        bool rewritten;
    } cases[] = {
        {"seconds behind", kCycleTime.addSecs(-25), true, false},
        {"seconds ahead", kCycleTime.addSecs(29), true, false},
        {"a minute ahead", kCycleTime.addSecs(60), true, true},
        {"a minute behind", kCycleTime.addSecs(-60), true, true},
        {"a year behind", kCycleTime.addYears(-1), true, true},
        {"a minute ahead, sync off", kCycleTime.addSecs(60), false, false},
    };
    Focus(1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_poller.SetPlan(Plan(0, 4, false, c.clockSync));
        EditScript([&](PackScript& s) {
            s.answers[kReadDateTime] = DateTimeBytes(c.packClock);
            s.lastDateTimeWritten.clear();
        });
        m_poller.PollPack(kCycleTime);
        EXPECT_EQ(TakeRequests().contains(QStringLiteral("1:4E")), c.rewritten);
        // The pack is set to the cycle time, seconds included.
        if (c.rewritten)
            EditScript([&](PackScript& s) { EXPECT_EQ(s.lastDateTimeWritten, DateTimeBytes(kCycleTime)); });
    }
}

TEST_F(PackPollerTest, AFailingPackIsShownAgainOnlyAfterNinetySecondsOfSilence)
{
    constexpr std::uint8_t kPackError = 0x04;
    struct Case {
        const char* name;
        bool autoPolling;
        bool silent;
        int secondsSinceAnswer;
        bool refreshed;
    } cases[] = {
        {"silent 60 s", false, true, 60, false},
        {"silent 90 s", false, true, 90, false},
        {"silent 91 s", false, true, 91, true},
        // With one pack chosen only a missing answer counts as silence.
        {"pack error, 91 s", false, false, 91, false},
        {"pack error under Auto, 60 s", true, false, 60, false},
        {"pack error under Auto, 91 s", true, false, 91, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Focus(1);
        m_poller.SetPlan(Plan(0, 4, c.autoPolling));
        EditScript([](PackScript& s) {
            s.silent = false;
            s.failWith.reset();
        });
        m_poller.PollPack(kCycleTime);
        ASSERT_EQ(m_store.LastResult(), ResultCode::kSuccess);

        EditScript([&](PackScript& s) {
            s.silent = c.silent;
            if (!c.silent)
                s.failWith = kPackError;
        });
        m_view.analogRefreshes = 0;
        m_view.alarmRefreshes = 0;
        m_poller.PollPack(kCycleTime.addSecs(c.secondsSinceAnswer));
        EXPECT_NE(m_store.LastResult(), ResultCode::kSuccess);
        EXPECT_EQ(m_view.analogRefreshes, c.refreshed ? 1 : 0);
        EXPECT_EQ(m_view.alarmRefreshes, c.refreshed ? 1 : 0);
    }
}

// Older firmware stops its live answers after the cells or after the
// temperatures: the pack still answers, and what it did not send is blank.
TEST_F(PackPollerTest, ShortLiveAnswersAreShownWithBlanksAfter)
{
    struct Case {
        const char* fault;
        bool temperatures;   // the analog answer carries them
        bool packVoltage;
    } cases[] = {
        {"short:analog:cells", false, false},
        {"short:analog:temperatures", true, false},
        {"short:alarm:cells", true, true},
        {"short:alarm:temperatures", true, true},
    };
    Focus(1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        EditScript([&](PackScript& s) {
            s.bus.clearFaults();
            ASSERT_TRUE(s.bus.addFault(QString::fromLatin1(c.fault)));
        });
        m_view.analogRefreshes = 0;
        m_view.alarmRefreshes = 0;
        m_poller.PollPack(kCycleTime);
        EXPECT_EQ(m_store.LastResult(), ResultCode::kSuccess);
        EXPECT_EQ(m_view.analogRefreshes, 1);
        EXPECT_EQ(m_view.alarmRefreshes, 1);
        const RAnalogData analog = m_store.GetAnalogData(1);
        EXPECT_GT(analog.cellVoltages[15], 3000);
        EXPECT_EQ(analog.fetTemperature != Decimal(), c.temperatures);
        EXPECT_EQ(analog.totalVoltage != Decimal(), c.packVoltage);
    }
}

TEST_F(PackPollerTest, VersionPanelShowsVersionsFrom0534InHexadecimal)
{
    struct Case {
        std::uint16_t version;
        const char* text;
    } cases[] = {{0x0000, ""}, {0x0533, ""}, {0x0534, "534"}, {0x1A2F, "1A2F"}};
    Focus(1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        EditScript([&](PackScript& s) { s.answers[kReadDeviceInfo] = DeviceInfoBytes(c.version); });
        m_poller.PollPack(kCycleTime);
        EXPECT_EQ(SoftwareVersionText(m_view.shownVersion), QLatin1String(c.text));
    }
}

// The pack in focus lies beyond a pack count lowered since it was chosen:
// nothing is polled, and the thread must wait rather than spin.
TEST_F(PackPollerTest, APassWithNothingToPollWaitsInsteadOfSpinning)
{
#ifndef CLOCK_THREAD_CPUTIME_ID
    GTEST_SKIP() << "no per-thread CPU clock here";
#else
    Focus(5);
    std::atomic<bool> stop{false};
    PackPoller poller(m_store, m_globals, m_view, [&stop] { return stop.load(); });
    poller.SetPlan(Plan(0, 2));
    auto cpuSeconds = [] {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
    };
    double cpuUsed = 0;
    int passes = 0;
    std::thread polling([&] {
        const double start = cpuSeconds();
        while (!stop)
            if (poller.RunPass())
                ++passes;
        cpuUsed = cpuSeconds() - start;
    });
    std::this_thread::sleep_for(std::chrono::seconds(3));
    stop = true;
    polling.join();
    std::cout << "[ idle passes: " << passes << ", CPU " << cpuUsed << " s in 3 s ]" << std::endl;
    // One pass a second; a spinning loop makes thousands and takes a core.
    EXPECT_LE(passes, 5);
    EXPECT_LT(cpuUsed, 0.3);
    EXPECT_TRUE(TakeRequests().isEmpty());
#endif
}

struct RecordingSink final : IPackSampleSink {
    std::vector<RPackSample> samples;
    void PackSampled(const RPackSample& sample) override { samples.push_back(sample); }
};

// Exchanges as "CID2:result", e.g. "42:0 44:AF".
QString ExchangeText(const RPackSample& sample)
{
    QStringList parts;
    for (const RExchangeResult& exchange : sample.exchanges)
        parts << QStringLiteral("%1:%2").arg(exchange.cid2, 2, 16, QLatin1Char('0')).arg(exchange.result, 0, 16).toUpper();
    return parts.join(QLatin1Char(' '));
}

// Each turn reaches the sink as one sample, a turn cut short too; under
// "Auto" the bar code is read once, the first time the pack answers, and
// only while it is not known.
TEST_F(PackPollerTest, EveryTurnReachesTheSinkWithItsExchangesAndReadings)
{
    struct Case {
        const char* name;
        bool autoPolling;
        bool silent;
        bool stopAfterFirstCommand;
        const char* firstTurn;
        const char* secondTurn;
        bool readings;   // of the second turn
        const char* barCode;
    } cases[] = {
        {"one pack", false, false, false, "4D:0 E9:0 51:0 42:0 44:0", "4D:0 E9:0 51:0 42:0 44:0", true,
         "SIM48V100AH0002"},
        {"Auto", true, false, false, "42:0 44:0 E9:0", "42:0 44:0", true, "SIM48V100AH0002"},
        {"Auto, silent pack", true, true, false, "42:AF 44:AF", "42:AF 44:AF", false, ""},
        {"stopped after the first command", false, false, true, "4D:0", "4D:0", false, ""},
        {"Auto, stopped after the first command", true, false, true, "42:0", "42:0", true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EditScript([&](PackScript& s) { s.silent = c.silent; });
        RecordingSink sink;
        std::atomic<int> commands{0};
        m_link->respond = [packs = m_packs, &commands](const QByteArray& request) {
            ++commands;
            return packs->respond(request);
        };
        PackPoller poller(m_store, m_globals, m_view, [&] { return c.stopAfterFirstCommand && commands > 0; });
        poller.SetSampleSink(&sink);
        poller.SetPlan(Plan(0, 4, c.autoPolling));
        Focus(2);
        for (int turn = 0; turn < 2; ++turn) {
            commands = 0;
            poller.PollPack(kCycleTime.addSecs(turn));
        }
        ASSERT_EQ(sink.samples.size(), 2u);
        EXPECT_EQ(ExchangeText(sink.samples[0]), QLatin1String(c.firstTurn));
        const RPackSample& last = sink.samples[1];
        EXPECT_EQ(ExchangeText(last), QLatin1String(c.secondTurn));
        EXPECT_EQ(last.pack, 2);
        EXPECT_EQ(last.address, 2);
        // Stamped when the readings arrived, as their log row; a turn without
        // them, with the cycle's time.
        EXPECT_EQ(last.time, last.analog ? last.analog->time : kCycleTime.addSecs(1));
        EXPECT_EQ(last.Answered(), !c.silent);
        EXPECT_EQ(last.analog.has_value(), c.readings);
        if (last.analog) {
            EXPECT_EQ(last.analog->cellVoltages[4], m_store.GetAnalogData(2).cellVoltages[4]);
        }
        EXPECT_EQ(last.barCode, QLatin1String(c.barCode));
    }
}

} // namespace
