#pragma once

#include "store/bus_listener.h"
#include "store/pack_poller.h"

#include <QThread>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

// Which pack a polled value belongs to, taken on the polling thread when it
// was read: the pack in focus then, and its address.
struct RPackFocus {
    std::uint8_t pack = 0;
    std::uint8_t address = 0;
};

// A refresh as the window gets it: the focus and copies of that pack's
// records as the store held them right after the reading. A refresh that
// arrives after the store moved on still shows what it carries.
struct RPolledView {
    RPackFocus focus;
    RAnalogData analog;
    RAlarmData alarm;
    RLocationData location;
};

// The polling thread. It runs PackPoller pass after pass until a stop is
// requested, or, opened to listen only, BusListener, which hears a bus that
// another master polls and sends nothing; either reaches the window only
// through the same signals. The thread never waits for the window: each
// call is queued with copies of what it shows (never references into this
// thread's stack or the store) under a lock the thread sanitizer sees, and a
// signal without values (wakeUp, queued to this object, which lives on the
// user-interface thread) has Deliver() emit them there, in order. Qt's
// queued signals with values are not used for the hand-over: their values
// pass through Qt's own queue, which the sanitizer cannot follow.
//
// Stop() asks the thread to end and waits for it; the thread looks at the
// request between commands and in its pauses, so it ends within one
// exchange. Nothing it queued needs the window to answer, so the wait runs
// no event loop; Deliver() afterwards emits what the thread queued before it
// ended.
class TThreadPack final : public QThread, private IPollView {
    Q_OBJECT
public:
    enum class Mode : std::uint8_t { Poll, Listen };

    TThreadPack(TDevInfo& store, AppGlobals& globals, QObject* parent = nullptr)
        : TThreadPack(store, globals, Mode::Poll, parent)
    {
    }
    TThreadPack(TDevInfo& store, AppGlobals& globals, Mode mode, QObject* parent = nullptr);
    ~TThreadPack() override;

    // Called on the user-interface thread. Returns when the thread has ended.
    void Stop();
    // User-interface thread: emits what the thread queued so far, in order.
    void Deliver();
    // Any thread: what the passes poll from the next pack on (a listening
    // thread sends nothing whatever the plan).
    void SetPlan(const RPollPlan& plan) { m_poller.SetPlan(plan); }
    // Before start(): where each pack's turn goes, polled or heard.
    void SetSampleSink(IPackSampleSink* sink)
    {
        m_poller.SetSampleSink(sink);
        if (m_listener)
            m_listener->SetSampleSink(sink);
    }
    bool IsListening() const { return m_listener != nullptr; }

signals:
    void refreshHead(RPackFocus focus);
    void commStateChanged(int state);
    void packTimeShown(RDeviceTime packTime, std::uint8_t lastResult, RPackFocus focus);
    void statusShown(std::uint16_t softwareVersion, QString barCode, std::uint8_t echoedPack, RPackFocus focus);
    void refreshAnalog(RPolledView view);
    void refreshAlarm(RPolledView view);
    void refreshLocation(RPolledView view);
    // The pack's family is in trouble (IPollView::ShowFamilyProblem).
    void familyProblemShown(std::uint8_t pack, RPackFamilyState state);
    // The port went away; the thread ends by itself after it. The window
    // stops the thread in answer.
    void portLost();
    // Internal: something was queued for Deliver().
    void wakeUp();

protected:
    void run() override;

private:
    // Polling thread: the focus and records as they are now.
    RPackFocus Focus() const;
    RPolledView View() const;

    // Polling thread: queues call for Deliver().
    void Post(std::function<void()> call);

    void RefreshHead() override
    {
        Post([this, focus = Focus()] { emit refreshHead(focus); });
    }
    void SetCommState(int state) override
    {
        Post([this, state] { emit commStateChanged(state); });
    }
    void ShowPackTime(const RDeviceTime& packTime, std::uint8_t lastResult) override
    {
        Post([this, packTime, lastResult, focus = Focus()] { emit packTimeShown(packTime, lastResult, focus); });
    }
    void ShowStatus(std::uint16_t softwareVersion, const QString& barCode, std::uint8_t echoedPack) override
    {
        Post([this, softwareVersion, barCode, echoedPack, focus = Focus()] {
            emit statusShown(softwareVersion, barCode, echoedPack, focus);
        });
    }
    void RefreshAnalog() override
    {
        Post([this, view = View()] { emit refreshAnalog(view); });
    }
    void RefreshAlarm() override
    {
        Post([this, view = View()] { emit refreshAlarm(view); });
    }
    void RefreshLocation() override
    {
        Post([this, view = View()] { emit refreshLocation(view); });
    }
    void ShowFamilyProblem(std::uint8_t pack, const RPackFamilyState& state) override
    {
        Post([this, pack, state] { emit familyProblemShown(pack, state); });
    }
    bool PortLost() override
    {
        Post([this] { emit portLost(); });
        return true;
    }

    TDevInfo& m_store;
    AppGlobals& m_globals;
    PackPoller m_poller;
    std::unique_ptr<BusListener> m_listener;   // listening only: runs instead of the poller
    std::atomic<bool> m_runEnded{false};
    std::mutex m_postLock;
    std::deque<std::function<void()>> m_posted;   // guarded by m_postLock
    bool m_wakeUpSent = false;                     // guarded by m_postLock
};
