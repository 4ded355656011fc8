#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>

// Lets a bus-wide job have the link to itself. While a job holds the bus the
// polling thread finishes the exchange under way and then sends nothing,
// and does not close or reopen the port, until the last job lets go; so a
// pack of the job is never "no answer" because the poller was waiting on a
// dead pack or had the port closed for a reconnect.
//
// Thread-safe; a job takes it on its own thread (never on the thread that
// serves the polling thread's synchronised calls, which would then wait on
// each other).
class TBusHold {
public:
    // Job side. Waits until the poller has left the pack it was polling;
    // false, and nothing held, when gaveUp() turned true first (cancel).
    bool acquire(const std::function<bool()>& gaveUp);
    void release();
    // Poller side: a job holds the bus or waits for it, so the poller ends
    // its pack at the next command.
    bool held() const;
    // Poller side: starts polling one pack; waits while the bus is held.
    // false when stopRequested() turned true while waiting.
    bool enterCycle(const std::function<bool()>& stopRequested);
    void leaveCycle();

private:
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    int m_jobs = 0;              // guarded by m_lock
    bool m_pollerInCycle = false;   // guarded by m_lock
};

// Holds the bus for a scope; held() says whether it was had.
class RBusHoldGuard {
public:
    RBusHoldGuard(TBusHold& hold, const std::function<bool()>& gaveUp) : m_hold(hold), m_held(hold.acquire(gaveUp)) {}
    ~RBusHoldGuard()
    {
        if (m_held)
            m_hold.release();
    }
    RBusHoldGuard(const RBusHoldGuard&) = delete;
    RBusHoldGuard& operator=(const RBusHoldGuard&) = delete;
    bool held() const { return m_held; }

private:
    TBusHold& m_hold;
    bool m_held;
};
