#pragma once

#include "store/bus_listener.h"
#include "store/pack_poller.h"

#include <QThread>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

// The polling thread. It runs PackPoller pass after pass until a stop is
// requested, or, opened to listen only, BusListener, which hears a bus that
// another master polls and sends nothing; either reaches the window only
// through the same signals. Each signal is
// emitted on the user-interface thread while this thread waits, as a
// synchronised call; the window connects them directly. The hand-over
// carries copies of the values, never references into this thread's stack:
// the call is announced by a queued signal (its slot object made once, by the
// user-interface thread) and this thread waits on a condition variable the
// thread sanitizer sees. Qt's blocking-queued
// connection is not used: it leaves the signal's argument array on this
// thread's stack, where Qt's slot code on the user-interface thread still
// reads it after the slot has run, behind a wait the sanitizer cannot see.
//
// Stop() asks the thread to end and waits for it; the thread looks at the
// request between commands, so it ends within one exchange. While waiting,
// Stop() keeps delivering the thread's pending signals, so a thread blocked
// in a synchronised call can finish it instead of deadlocking.
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
    void refreshHead();
    void commStateChanged(int state);
    void packTimeShown(RDeviceTime packTime, std::uint8_t lastResult);
    void statusShown(std::uint16_t softwareVersion, QString barCode, std::uint8_t echoedPack);
    void refreshAnalog();
    void refreshAlarm();
    void refreshLocation();
    // Internal: a synchronised call waits for the user-interface thread.
    void callPending();
    // The port went away; the thread ends by itself after it. Connected
    // queued (not synchronised): the window stops the thread in answer.
    void portLost();

protected:
    void run() override;

private:
    void RefreshHead() override { Synchronise([this] { emit refreshHead(); }); }
    void SetCommState(int state) override { Synchronise([this, state] { emit commStateChanged(state); }); }
    void ShowPackTime(const RDeviceTime& packTime, std::uint8_t lastResult) override
    {
        Synchronise([this, packTime, lastResult] { emit packTimeShown(packTime, lastResult); });
    }
    void ShowStatus(std::uint16_t softwareVersion, const QString& barCode, std::uint8_t echoedPack) override
    {
        Synchronise([this, softwareVersion, barCode, echoedPack] {
            emit statusShown(softwareVersion, barCode, echoedPack);
        });
    }
    void RefreshAnalog() override { Synchronise([this] { emit refreshAnalog(); }); }
    void RefreshAlarm() override { Synchronise([this] { emit refreshAlarm(); }); }
    void RefreshLocation() override { Synchronise([this] { emit refreshLocation(); }); }

    // Runs call on the user-interface thread and returns when it has run,
    // or (unless evenWhenStopping) without running it once a stop is
    // requested, so that a window busy closing never holds the thread up.
    void Synchronise(std::function<void()> call, bool evenWhenStopping = false);
    static constexpr std::chrono::milliseconds kStopLookInterval{20};
    // On the user-interface thread: runs the call waiting there.
    void RunPendingCall();
    bool PortLost() override
    {
        emit portLost();
        return true;
    }

    PackPoller m_poller;
    std::unique_ptr<BusListener> m_listener;   // listening only: runs instead of the poller
    std::atomic<bool> m_runEnded{false};
    std::mutex m_callLock;
    std::condition_variable m_callDone;
    std::function<void()> m_pendingCall;   // guarded by m_callLock
    bool m_callRan = false;                // guarded by m_callLock
};
