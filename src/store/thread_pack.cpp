#include "store/thread_pack.h"

#include <QCoreApplication>

TThreadPack::TThreadPack(TDevInfo& store, AppGlobals& globals, Mode mode, QObject* parent)
    : QThread(parent), m_poller(store, globals, *this, [this] { return isInterruptionRequested(); })
{
    IPollView& view = *this;
    if (mode == Mode::Listen)
        m_listener = std::make_unique<BusListener>(store, globals, view, [this] { return isInterruptionRequested(); });
    setObjectName(QStringLiteral("pack-polling"));
    // This object lives on the user-interface thread: the call runs there.
    connect(this, &TThreadPack::callPending, this, &TThreadPack::RunPendingCall, Qt::QueuedConnection);
}

TThreadPack::~TThreadPack()
{
    Stop();
}

void TThreadPack::Stop()
{
    requestInterruption();
    while (!wait(10)) {
        // Deliver the synchronised calls the thread may be blocked in.
        if (QThread::currentThread() == QCoreApplication::instance()->thread())
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    // Pairs with the store at the end of run(): everything the thread did is
    // ordered before what the caller does next (freeing the thread or the
    // store), in a way the sanitizer sees too.
    m_runEnded.load(std::memory_order_acquire);
}

void TThreadPack::run()
{
    // A lost port ends polling: the window shows it and the user opens the
    // port again once the adapter is back.
    // The listener loses its port the same way and asks the same PortLost.
    const auto stoppedOnLostPort = [this] {
        return m_listener ? m_listener->StoppedOnLostPort() : m_poller.StoppedOnLostPort();
    };
    while (!isInterruptionRequested() && !stoppedOnLostPort()) {
        if (m_listener)
            m_listener->RunPass();
        else
            m_poller.RunPass();
    }
    // After a lost port the window, which waits for this thread in answer
    // to portLost, turns the lamp red itself: no synchronised call now.
    // The red lamp is the thread's last word: Stop() serves this one call
    // although a stop was asked.
    if (!stoppedOnLostPort())
        Synchronise([this] { emit commStateChanged(0); }, true);
    m_runEnded.store(true, std::memory_order_release);
}

void TThreadPack::Synchronise(std::function<void()> call, bool evenWhenStopping)
{
    std::unique_lock<std::mutex> lock(m_callLock);
    m_pendingCall = std::move(call);
    m_callRan = false;
    lock.unlock();
    emit callPending();
    lock.lock();
    // A stop request ends the wait: the window that asks may be busy
    // joining other work and not serve the call. The call is then taken
    // back, so that it never runs after this thread has gone on.
    while (!m_callRan) {
        if (!evenWhenStopping && isInterruptionRequested()) {
            m_pendingCall = nullptr;
            return;
        }
        m_callDone.wait_for(lock, kStopLookInterval);
    }
}

void TThreadPack::RunPendingCall()
{
    std::function<void()> call;
    {
        const std::lock_guard<std::mutex> lock(m_callLock);
        call.swap(m_pendingCall);
    }
    if (call)
        call();
    {
        const std::lock_guard<std::mutex> lock(m_callLock);
        m_callRan = true;
    }
    m_callDone.notify_all();
}
