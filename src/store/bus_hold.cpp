#include "store/bus_hold.h"

#include <chrono>

namespace {

// How often a waiting side looks at its cancel or stop request.
constexpr std::chrono::milliseconds kLookAgain{20};

} // namespace

bool TBusHold::acquire(const std::function<bool()>& gaveUp)
{
    std::unique_lock<std::mutex> lock(m_lock);
    // Counted at once, so that the poller stops at its next command instead
    // of running the rest of its pack.
    ++m_jobs;
    while (m_pollerInCycle) {
        if (gaveUp && gaveUp()) {
            --m_jobs;
            lock.unlock();
            m_changed.notify_all();
            return false;
        }
        m_changed.wait_for(lock, kLookAgain);
    }
    return true;
}

void TBusHold::release()
{
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        --m_jobs;
    }
    m_changed.notify_all();
}

bool TBusHold::held() const
{
    const std::lock_guard<std::mutex> lock(m_lock);
    return m_jobs > 0;
}

bool TBusHold::enterCycle(const std::function<bool()>& stopRequested)
{
    std::unique_lock<std::mutex> lock(m_lock);
    while (m_jobs > 0) {
        if (stopRequested && stopRequested())
            return false;
        m_changed.wait_for(lock, kLookAgain);
    }
    m_pollerInCycle = true;
    return true;
}

void TBusHold::leaveCycle()
{
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        m_pollerInCycle = false;
    }
    m_changed.notify_all();
}
