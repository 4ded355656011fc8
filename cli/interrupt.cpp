#include "interrupt.h"

#include <atomic>
#include <csignal>

namespace {

// Lock-free, so that setting it from a signal handler is allowed.
std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnInterrupt(int signal)
{
    g_interrupted.store(true);
    // The next signal of this kind takes its default course.
    std::signal(signal, SIG_DFL);
}

} // namespace

void InstallInterruptHandler()
{
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    // A closed terminal or a service manager's reload ends a run as politely.
    std::signal(SIGHUP, OnInterrupt);
}

bool InterruptRequested()
{
    return g_interrupted.load();
}
