#include "store/thread_pack.h"

#include "services/settings.h"
#include "store/devinfo.h"

#include <utility>

TThreadPack::TThreadPack(TDevInfo& store, AppGlobals& globals, Mode mode, QObject* parent)
    : QThread(parent),
      m_store(store),
      m_globals(globals),
      m_poller(store, globals, *this, [this] { return isInterruptionRequested(); })
{
    IPollView& view = *this;
    if (mode == Mode::Listen)
        m_listener = std::make_unique<BusListener>(store, globals, view, [this] { return isInterruptionRequested(); });
    setObjectName(QStringLiteral("pack-polling"));
    // This object lives on the user-interface thread: Deliver runs there.
    connect(this, &TThreadPack::wakeUp, this, &TThreadPack::Deliver, Qt::QueuedConnection);
}

TThreadPack::~TThreadPack()
{
    Stop();
}

void TThreadPack::Stop()
{
    requestInterruption();
    wait();
    // Pairs with the store at the end of run(): everything the thread did is
    // ordered before what the caller does next (freeing the thread or the
    // store), in a way the sanitizer sees too.
    m_runEnded.load(std::memory_order_acquire);
}

void TThreadPack::Post(std::function<void()> call)
{
    bool wake = false;
    {
        const std::lock_guard<std::mutex> lock(m_postLock);
        m_posted.push_back(std::move(call));
        wake = !std::exchange(m_wakeUpSent, true);
    }
    if (wake)
        emit wakeUp();
}

void TThreadPack::Deliver()
{
    std::deque<std::function<void()>> calls;
    {
        const std::lock_guard<std::mutex> lock(m_postLock);
        calls.swap(m_posted);
        m_wakeUpSent = false;
    }
    for (const std::function<void()>& call : calls)
        call();
}

RPackFocus TThreadPack::Focus() const
{
    return RPackFocus{m_globals.SelectedPack.load(), m_globals.SelectedAddress.load()};
}

RPolledView TThreadPack::View() const
{
    RPolledView view;
    view.focus = Focus();
    view.analog = m_store.GetAnalogData(view.focus.pack);
    view.alarm = m_store.GetAlarmData(view.focus.pack);
    view.location = m_store.GetLocationData(view.focus.pack);
    return view;
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
    // After a lost port the window turns the lamp red itself in answer to
    // portLost; otherwise the red lamp is the thread's last word.
    if (!stoppedOnLostPort())
        SetCommState(0);
    m_runEnded.store(true, std::memory_order_release);
}
