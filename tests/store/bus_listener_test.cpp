// Listening to a bus another master polls: pairing, filing and the bus
// summary from scripted streams, and not a byte written on a real line.
#include "lib/sim_bus.h"
#include "protocol/frame.h"
#include "protocol/result_codes.h"
#include "services/settings.h"
#include "store/bus_listener.h"
#include "store/devinfo.h"
#include "store/pack_poller.h"
#include "store/pack_sample.h"
#include "support/pseudo_terminal.h"
#include "support/scripted_link.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <thread>

namespace {

struct HeardView final : IPollView {
    std::vector<std::uint8_t> heads;   // the pack in focus at each RefreshHead
    int analogRefreshes = 0;
    int alarmRefreshes = 0;
    std::vector<int> lamps;
    AppGlobals* globals = nullptr;

    void RefreshHead() override { heads.push_back(globals->SelectedPack.load()); }
    void SetCommState(int state) override { lamps.push_back(state); }
    void ShowPackTime(const RDeviceTime&, std::uint8_t) override {}
    void ShowStatus(std::uint16_t, const QString&, std::uint8_t) override {}
    void RefreshAnalog() override { ++analogRefreshes; }
    void RefreshAlarm() override { ++alarmRefreshes; }
    void RefreshLocation() override {}
};

struct SampleList final : IPackSampleSink {
    std::vector<RPackSample> samples;
    void PackSampled(const RPackSample& sample) override { samples.push_back(sample); }
};

QByteArray Request(std::uint8_t address, std::uint8_t cid2, QByteArray info = {})
{
    return frame::BuildFrame(address, cid2, info);
}

QByteArray Analog(std::uint8_t address)
{
    return Request(address, 0x42, QByteArray(1, char(address)));
}

// A listener with its store, view and what it reported.
struct Listening {
    TDevInfo store;
    AppGlobals globals;
    HeardView view;
    SampleList samples;
    std::vector<RHeardExchange> heard;
    std::unique_ptr<BusListener> listener;

    explicit Listening(std::function<bool()> stop = {})
    {
        store.InitStore();
        globals.PortNumber = 1;
        view.globals = &globals;
        listener = std::make_unique<BusListener>(store, globals, view, std::move(stop));
        listener->SetExchangeObserver([this](const RHeardExchange& h) { heard.push_back(h); });
        listener->SetSampleSink(&samples);
    }

    std::vector<HeardOutcome> outcomes() const
    {
        std::vector<HeardOutcome> list;
        for (const RHeardExchange& h : heard)
            list.push_back(h.outcome);
        return list;
    }
};

struct Counts {
    std::uint64_t requests, answers, noAnswers, refused, overlapped, late, duplicates, echoes, unpaired, unknown, bad;
    friend bool operator==(const Counts&, const Counts&) = default;
};

std::ostream& operator<<(std::ostream& out, const Counts& c)
{
    return out << "requests " << c.requests << " answers " << c.answers << " noAnswers " << c.noAnswers
               << " refused " << c.refused << " overlapped " << c.overlapped << " late " << c.late
               << " duplicates " << c.duplicates
               << " echoes " << c.echoes << " unpaired " << c.unpaired << " unknown " << c.unknown << " bad "
               << c.bad;
}

Counts CountsOf(const RAddressSummary& s)
{
    return {s.requests,         s.answers,        s.noAnswers, s.refused,         s.overlapped, s.lateAnswers,
            s.duplicateAnswers, s.echoedRequests, s.unpaired,  s.unknownCommands, s.BadFrames()};
}

} // namespace

TEST(BusListener, PairsRefusesAndCountsWhatTheBusCarries)
{
    SimBus bus;
    const QByteArray analog1 = Analog(1);
    const QByteArray answer1 = bus.respond(analog1).text;
    const QByteArray alarm1 = Request(1, 0x44, QByteArray(1, '\x01'));
    const QByteArray alarmAnswer1 = bus.respond(alarm1).text;
    const QByteArray clockAnswer1 = bus.respond(Request(1, 0x4D)).text;
    const QByteArray analog2 = Analog(2);
    const QByteArray answer2 = bus.respond(analog2).text;
    QByteArray damaged = answer1;
    damaged[damaged.size() - 2] = damaged[damaged.size() - 2] == '0' ? '1' : '0';
    // Noise on the address characters: address 0x4E, where no pack is.
    QByteArray strayAddress = answer1;
    strayAddress.replace(3, 2, "4E");
    using O = HeardOutcome;
    struct Step {
        qint64 atMs;
        QByteArray bytes;
    };
    const struct {
        const char* name;
        std::vector<Step> steps;
        std::vector<HeardOutcome> outcomes;
        Counts counts;   // address 1
        bool analogFiled;
        // Pack 1's turns handed to the sample sink: whether each was up.
        std::vector<bool> turnsUp = {};
        // The code every no answer carries.
        std::uint8_t silentCode = ResultCode::kNoAnswer;
        std::vector<std::uint8_t> rows = {1};   // the summary's addresses
    } cases[] = {
        {"an answer pairs with its request", {{0, analog1}, {60, answer1}}, {O::Answered},
         {1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}, true},
        {"a silent pack is no answer once the window has passed, and down once the line stays quiet",
         {{0, analog1}, {5000, {}}}, {O::NoAnswer}, {1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}, false, {false}},
        {"a master's adapter echo makes no second exchange", {{0, analog1}, {3, analog1}, {60, answer1}},
         {O::Answered}, {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0}, true},
        {"an answer heard twice is counted, not filed twice", {{0, analog1}, {60, answer1}, {70, answer1}},
         {O::Answered, O::DuplicateAnswer}, {1, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0}, true},
        {"an answer of another command's length is refused", {{0, analog1}, {60, clockAnswer1}},
         {O::ForeignLength}, {1, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0}, false},
        {"a command outside the catalogue is shown raw",
         {{0, Request(1, 0x77, "\x01")}, {40, frame::BuildFrame(1, 0, "\x01\x02")}}, {O::UnknownCommand},
         {1, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0}, false},
        {"a second master's request overtakes the first", {{0, analog1}, {10, alarm1}, {60, alarmAnswer1}},
         {O::Overlapped, O::Answered}, {2, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0}, false},
        {"an answer with no request before it is unpaired", {{0, answer1}}, {O::Unpaired},
         {0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0}, false},
        {"a damaged answer is a bad frame, then no answer", {{0, analog1}, {60, damaged}, {5000, {}}},
         {O::BadFrame, O::NoAnswer}, {1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1}, false, {false}, ResultCode::kBadChecksum},
        {"a damaged answer asked again at once is no answer, not overlapped",
         {{0, analog1}, {60, damaged}, {80, alarm1}, {140, alarmAnswer1}}, {O::BadFrame, O::NoAnswer, O::Answered},
         {2, 1, 1, 0, 0, 0, 0, 0, 0, 0, 1}, false, {}, ResultCode::kBadChecksum},
        {"a damaged answer before the next pack is the same no answer",
         {{0, analog1}, {60, damaged}, {80, analog2}}, {O::BadFrame, O::NoAnswer},
         {1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1}, false, {}, ResultCode::kBadChecksum, {1, 2}},
        {"a late answer after the window is late", {{0, analog1}, {5000, answer1}}, {O::NoAnswer, O::LateAnswer},
         {1, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0}, false},
        {"the next pack asked means the master gave up: a silent pack is down",
         {{0, analog1}, {300, analog2}, {360, answer2}}, {O::NoAnswer, O::Answered},
         {1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}, false, {false}, ResultCode::kNoAnswer, {1, 2}},
        {"an answer after the master moved on is late, not a second master",
         {{0, analog1}, {300, analog2}, {400, answer1}}, {O::NoAnswer, O::LateAnswer},
         {1, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0}, false, {}, ResultCode::kNoAnswer, {1, 2}},
        {"half an answer then a quiet line is a cut-off frame",
         {{0, analog1}, {60, answer1.left(40)}, {5000, {}}}, {O::BadFrame, O::NoAnswer},
         {1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1}, false, {false}, ResultCode::kCutOff},
        {"a damaged address makes no summary row", {{0, analog1}, {60, answer1}, {70, strayAddress}},
         {O::Answered, O::BadFrame}, {1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}, true},
    };
    for (const auto& c : cases) {
        Listening l;
        const RAnalogData before = l.store.GetAnalogData(1);
        for (const Step& step : c.steps)
            l.listener->Feed(step.bytes, step.atMs);
        EXPECT_EQ(l.outcomes(), c.outcomes) << c.name;
        const RBusSummary summary = l.listener->Summary();
        ASSERT_FALSE(summary.addresses.empty()) << c.name;
        EXPECT_EQ(CountsOf(summary.addresses[0]), c.counts) << c.name;
        std::vector<std::uint8_t> rows;
        for (const RAddressSummary& s : summary.addresses)
            rows.push_back(s.address);
        EXPECT_EQ(rows, c.rows) << c.name;
        // Every bad frame is on the bus line, whichever address it names.
        std::uint64_t bad = 0;
        for (const RHeardExchange& h : l.heard) {
            bad += h.outcome == O::BadFrame ? 1 : 0;
            if (h.outcome == O::NoAnswer) {
                EXPECT_EQ(h.result, c.silentCode) << c.name;
            }
        }
        EXPECT_EQ(summary.totals.BadFrames(), bad) << c.name;
        EXPECT_EQ(!(l.store.GetAnalogData(1) == before), c.analogFiled) << c.name;
        // The analog page is refreshed once for each analog answer filed.
        EXPECT_EQ(l.view.analogRefreshes, std::count_if(l.heard.begin(), l.heard.end(), [](const RHeardExchange& h) {
                      return h.analog.has_value();
                  })) << c.name;
        std::vector<bool> turnsUp;
        for (const RPackSample& sample : l.samples.samples)
            if (sample.pack == 1)
                turnsUp.push_back(sample.Answered());
        EXPECT_EQ(turnsUp, c.turnsUp) << c.name;
        // Every exchange reaches the traffic record, marked as heard.
        const std::vector<RTrafficRecord> traffic = l.store.DevOper().Traffic().Since(0);
        EXPECT_EQ(traffic.size(), l.heard.size()) << c.name;
        for (const RTrafficRecord& r : traffic)
            EXPECT_TRUE(r.heard) << c.name;
    }
}

// What is heard is filed as polling files the same answers, and drives the
// view and the sample sink as the poller's turn does.
TEST(BusListener, FilesWhatPollingWouldFileAndDrivesTheView)
{
    SimBus bus;
    Listening l;
    // Pack 2's turn: clock, analog, alarm; then pack 3's analog; the period
    // and answer times follow from the times the bytes came.
    const QByteArray clock2 = Request(2, 0x4D);
    const QByteArray analog2 = Analog(2);
    const QByteArray alarm2 = Request(2, 0x44, QByteArray(1, '\x02'));
    const QByteArray analog3 = Analog(3);
    qint64 t = 0;
    std::map<QByteArray, QByteArray> lastAnswers;
    for (int pass = 0; pass < 2; ++pass) {
        for (const QByteArray& request : {clock2, analog2, alarm2, analog3}) {
            const QByteArray answer = bus.respond(request).text;
            lastAnswers[request] = answer;
            l.listener->Feed(request, t);
            l.listener->Feed(answer, t + 40 + pass * 20);
            t += 250;
        }
    }
    l.listener->Feed({}, t + 5000);

    // Polling the same answers through the store's own commands.
    auto script = std::make_shared<LinkScript>();
    script->queued = {lastAnswers[analog2], lastAnswers[analog3], lastAnswers[alarm2]};
    TDevInfo polled;
    polled.InitStore();
    ASSERT_TRUE(OpenScriptedLink(polled.DevOper(), QStringLiteral("listen-compare"), script));
    std::uint8_t echoed = 0;
    for (std::uint8_t pack : {2, 3}) {
        ASSERT_EQ(polled.ReadAnalogData(pack, pack, echoed), 0);
        RAnalogData heard = l.store.GetAnalogData(pack);
        RAnalogData asked = polled.GetAnalogData(pack);
        heard.time = asked.time = {};
        EXPECT_EQ(heard, asked) << int(pack);
    }
    ASSERT_EQ(polled.ReadAlarmData(2, 2), 0);
    EXPECT_EQ(l.store.GetAlarmData(2), polled.GetAlarmData(2));
    polled.CloseSerial(1);

    EXPECT_EQ(l.view.heads, (std::vector<std::uint8_t>{2, 3, 2, 3}));
    EXPECT_EQ(l.view.analogRefreshes, 4);
    EXPECT_EQ(l.view.alarmRefreshes, 2);
    // Each turn as a sample once the master moved on, the last once the
    // line stayed quiet after it.
    ASSERT_EQ(l.samples.samples.size(), 4u);
    EXPECT_EQ(l.samples.samples[3].pack, 3);
    EXPECT_EQ(l.samples.samples[0].pack, 2);
    EXPECT_TRUE(l.samples.samples[0].analog && l.samples.samples[0].alarm);
    EXPECT_EQ(l.samples.samples[0].exchanges.size(), 3u);

    const RBusSummary summary = l.listener->Summary();
    ASSERT_EQ(summary.addresses.size(), 2u);
    const RAddressSummary& two = summary.addresses[0];
    EXPECT_EQ(two.answerMinMs, 40);
    EXPECT_EQ(two.answerMaxMs, 60);
    EXPECT_EQ(two.pollPeriodMs, 1000);
    EXPECT_EQ(summary.totals.requests, 8u);
    EXPECT_EQ(summary.totals.answers, 8u);
}

TEST(BusListener, BytesWithNoFrameAreReportedOnceUntilAFrameComes)
{
    Listening l;
    const QByteArray garbage(40, char(0xF0));
    for (qint64 t = 0; t <= 8000; t += 500)
        l.listener->Feed(garbage, t);
    EXPECT_EQ(l.outcomes(), std::vector<HeardOutcome>{HeardOutcome::BytesWithoutFrames});
    EXPECT_GE(l.heard[0].bytesWithoutFrame, 40 * 7);
    EXPECT_TRUE(l.listener->Summary().bytesWithoutFrames);
    EXPECT_EQ(l.listener->Summary().bytesOutsideFrames, 40 * 17);
}

// The listener on a real line writes nothing: a serial device (a
// pseudo-terminal whose master side is the bus) and a TCP gateway (a local
// server that counts what it receives).
TEST(BusListener, WritesNothingOnASerialDeviceOrATcpGateway)
{
    SimBus bus;
    const QByteArray analog1 = Analog(1);
    const QByteArray traffic = analog1 + bus.respond(analog1).text;
    for (const bool tcp : {false, true}) {
        PseudoTerminal pty;
        QTcpServer server;
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
        QString device = pty.slavePath();
        if (tcp)
            device = QStringLiteral("tcp://127.0.0.1:%1").arg(server.serverPort());
        std::atomic<bool> stop{false};
        Listening l([&stop] { return stop.load(); });
        std::atomic<int> answered{0};
        l.listener->SetExchangeObserver([&answered](const RHeardExchange& h) {
            if (h.outcome == HeardOutcome::Answered)
                ++answered;
        });
        ASSERT_TRUE(l.store.DevOper().OpenLink(LinkSettings{device}, 1)) << l.store.DevOper().LastOpenError().toStdString();
        std::thread listening([&l] {
            while (l.listener->RunPass()) {
            }
        });
        QTcpSocket* gateway = nullptr;
        qint64 received = 0;
        QDeadlineTimer deadline(20000);
        bool sent = false;
        while (answered.load() == 0 && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            if (tcp && !gateway && server.hasPendingConnections())
                gateway = server.nextPendingConnection();
            if (!sent && (!tcp || gateway)) {
                sent = tcp ? gateway->write(traffic) == traffic.size() : pty.write(traffic);
                if (tcp)
                    gateway->flush();
            }
            if (gateway)
                received += gateway->readAll().size();
        }
        // A moment more for anything the listener might send after the answer.
        for (int i = 0; i < 10; ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            if (gateway)
                received += gateway->readAll().size();
        }
        stop = true;
        listening.join();
        EXPECT_EQ(answered.load(), 1) << (tcp ? "tcp" : "serial");
        EXPECT_EQ(tcp ? received : pty.written().size(), 0) << (tcp ? "tcp" : "serial");
        EXPECT_EQ(l.store.DevOper().CharactersSent(), 0);
        l.store.CloseSerial(1);
    }
}
