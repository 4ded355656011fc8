// Closing the window at any moment: while the port rests before it opens,
// with the close question open as that rest ends, as the port opens, while
// it polls, during a command a slow pack holds on the runner, as a page
// command's result comes while the close question is open, and after the
// adapter was pulled. Each time the window goes, everything that used the
// store was joined before the store was freed, the close question is the
// only box, and a log that holds readings is saved.

#include "app_window_fixture.h"

#include "app/app_objects.h"
#include "lib/sim_link.h"
#include "services/settings.h"
#include "store/bus_worker.h"
#include "store/devinfo.h"
#include "store/realtime_log.h"

#include <QDir>
#include <QPushButton>
#include <QTabWidget>

#include <atomic>
#include <functional>
#include <iostream>
#include <optional>

namespace {

// A command the poller never sends: reading the capacities.
constexpr std::uint8_t kReadCapacityCid2 = 0xE5;

class CloseTest : public MainWindowTest {
protected:
    // Polls until pack 1's log holds a reading.
    void PollUntilLogged()
    {
        ClickPortButton();
        ASSERT_TRUE(WaitFor([this] { return m_form->RealTimeFrame(1)->model()->readingCount() > 0; }));
    }

    void StartInProcess(std::vector<SimFault> faults = {})
    {
        SimOptions options;
        options.packs = 1;
        options.faults = std::move(faults);
        RegisterSimulatorLink(options);
        StartWindowOnInProcessPacks("TextKind=1\nPackCount=1\nPort=1\nDisplayRecord=1\n");
    }

    // What a row leaves running when the close comes.
    std::unique_ptr<TBusWorker> m_worker;
    std::atomic<bool> m_commandAnswered{false};
};

TEST_F(CloseTest, TheWindowClosesAtAnyMomentAndJoinsEverythingFirst)
{
    struct Row {
        const char* when;
        bool overPty;      // bms-sim on a pseudo-terminal, which can be pulled
        std::optional<bool> logHolds;   // readings were shown, so a log is saved; none: either
        std::function<void()> reach;
    };
    const std::vector<Row> rows = {
        {"while the port rests before it opens", false, false,
         [this] {
             PressPortButton();
             EXPECT_EQ(m_form->PortStateNow(), TMainForm::PortState::Opening);
             EXPECT_FALSE(Find<QAbstractButton>("BtnCom")->isEnabled()) << "it says it is opening";
             PressPortButton();   // a second click while opening changes nothing
             EXPECT_EQ(m_form->PortStateNow(), TMainForm::PortState::Opening);
         }},
        {"with the close question open as the rest ends", false, false,
         [this] {
             PressPortButton();
             // The question stays open past the rest before it is answered.
             MessageBoxes::SetHandler([this](QWidget*, const MessageBoxes::Request& request) {
                 m_boxes.append(request);
                 QTest::qWait(1300);
                 return MessageBoxes::Answer::Ok;
             });
         }},
        {"as the port opens", false, std::nullopt,
         [this] {
             PressPortButton();
             ASSERT_TRUE(WaitFor([this] { return m_form->IsPolling(); }, 3000));
         }},
        {"while polling", false, true, [this] { PollUntilLogged(); }},
        {"during a command a slow pack holds on the runner", false, false,
         [this] {
             SharedSimBus()->addFault(SimFault{SimFaultKind::SlowPack, 800, 0, 0, 1});
             // Too slow to be confirmed as ours by its answers: pinned, so
             // that the command goes out rather than being refused unsent.
             GlobalDevInfo()->DevOper().PinFamily(1, PackFamily::Ours);
             ClickPortButton();
             ASSERT_TRUE(WaitFor([this] { return m_form->IsPolling(); }));
             m_worker = std::make_unique<TBusWorker>();
             ASSERT_TRUE(m_worker->start([this](const TBusWorker::Job& job) {
                 std::int32_t design = 0, full = 0, remaining = 0;
                 GlobalDevInfo()->ReadCapacity(1, 1, design, full, remaining);
                 m_commandAnswered = true;
                 job.deliver(1);
             }));
             ASSERT_TRUE(WaitFor([] { return SharedSimBus()->requestCount(kReadCapacityCid2) >= 1; }));
             EXPECT_FALSE(m_commandAnswered.load()) << "closed mid-exchange";
         }},
        {"with the close question open as a page command's result comes", false, std::nullopt,
         [this] {
             ClickPortButton();
             ASSERT_TRUE(WaitFor([this] { return m_form->IsPolling(); }));
             Find<QTabWidget>("PageControl1")->setCurrentIndex(4);
             SharedSimBus()->addFault(SimFault{SimFaultKind::SlowPack, 400, 0, 0, 1});
             auto* read = m_form->findChild<QPushButton*>(QStringLiteral("BtnReadParameter"));
             ASSERT_NE(read, nullptr);
             QTest::mouseClick(read, Qt::LeftButton);
             // The read ends while the question is open: its result waits
             // for the answer, and the window has gone by then.
             MessageBoxes::SetHandler([this](QWidget*, const MessageBoxes::Request& request) {
                 m_boxes.append(request);
                 QTest::qWait(1300);
                 return MessageBoxes::Answer::Ok;
             });
         }},
        {"after the adapter was pulled, while the thread tries to reopen it", true, true,
         [this] {
             PollUntilLogged();
             m_sim->stop();
             ASSERT_TRUE(WaitFor([] { return !GlobalDevInfo()->IsSerialOpen(1); }));
         }},
        {"while the port rests before it opens again after a loss", true, true,
         [this] {
             PollUntilLogged();
             m_sim->stop();
             ASSERT_TRUE(WaitFor([this] { return m_form->PortStateNow() == TMainForm::PortState::Lost; }));
             ASSERT_TRUE(m_sim->start());
             PressPortButton();
             EXPECT_EQ(m_form->PortStateNow(), TMainForm::PortState::Reopening);
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.when);
        ASSERT_TRUE(m_programFolder.isValid());
        if (row.overPty)
            StartWindow({}, QStringLiteral("PackCount=1\nDisplayRecord=1\n"));
        else
            StartInProcess();
        ASSERT_FALSE(HasFatalFailure());
        m_commandAnswered = false;
        row.reach();
        ASSERT_FALSE(HasFatalFailure());
        const qsizetype boxesBefore = m_boxes.size();
        const QDir data(Globals().DataPath);
        const qsizetype logsBefore = data.entryList(QDir::Files).size();

        QElapsedTimer timer;
        timer.start();
        EXPECT_TRUE(m_form->close());
        std::cout << "[ closing " << row.when << " took " << timer.elapsed() << " ms ]" << std::endl;
        EXPECT_FALSE(m_form->isVisible());
        EXPECT_FALSE(m_form->IsPolling());
        EXPECT_EQ(TBusWorker::LiveJobs(), 0);
        EXPECT_EQ(GlobalDevInfo(), nullptr) << "freed once nothing uses it";
        if (m_worker) {
            EXPECT_TRUE(m_commandAnswered.load()) << "the exchange under way ended before the store went";
            EXPECT_FALSE(m_worker->isBusy());
        }
        EXPECT_EQ(m_boxes.size(), boxesBefore + 1) << "the close question only";
        // Nothing that was on its way (an open's rest, a refresh, the job's
        // result) comes up afterwards.
        QTest::qWait(1200);
        EXPECT_EQ(m_boxes.size(), boxesBefore + 1);
        if (row.logHolds)
            EXPECT_EQ(data.entryList(QDir::Files).size(), logsBefore + (*row.logHolds ? 1 : 0));

        m_worker.reset();
        m_form.reset();
        m_sim.reset();
        SharedSimBus()->clearFaults();
        MessageBoxes::SetHandler([this](QWidget*, const MessageBoxes::Request& request) {
            m_boxes.append(request);
            return m_answer;
        });
        m_boxes.clear();
    }
}

} // namespace
