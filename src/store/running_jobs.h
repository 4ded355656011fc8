#pragma once

// Every background job that uses the store (a bus job, the bus scan, a
// record transfer, a background save: in the window each runs on a
// TBusWorker, which lists itself) is listed here while it exists, so that closing the
// window cancels and joins all of them in one place, before anything they
// use is freed. User-interface thread only.

#include <functional>

namespace RunningJobs {

struct Entry {
    // Asks the job to stop after the exchange under way, and makes its
    // owner show nothing from now on (no summary, no message box).
    std::function<void()> cancel;
    // Returns when the job's thread has ended and its owner has taken what
    // it handed over. It runs no event loop.
    std::function<void()> wait;
    // Asks the job to stop after the exchange under way, the owner staying
    // usable and showing how its job ended (the port is being closed).
    // None: the job needs no word before the port closes.
    std::function<void()> interrupt;
};

// owner: the object the job belongs to; it removes itself before it goes.
void Add(const void* owner, Entry entry);
void Remove(const void* owner);
// Cancels every job first, then waits for each in turn.
void StopAll();
// The port closes: every job is interrupted first, then waited for; the
// owners stay usable for the next job.
void InterruptAll();
int Count();

} // namespace RunningJobs
