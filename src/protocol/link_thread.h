#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QThread>

#include "protocol/link.h"

#include <functional>
#include <mutex>
#include <semaphore>
#include <type_traits>

class QIODevice;
class QObject;

// A thread of its own for a link's device object (a serial port, a TCP
// socket): Qt lets such an object be used only from the thread that owns it,
// yet any caller (the polling thread, the user-interface thread, a CLI) may
// run an exchange. run() hands the work to that thread and blocks until it
// is done; one job at a time.
class LinkThread {
public:
    explicit LinkThread(const QString& name);
    ~LinkThread();
    LinkThread(const LinkThread&) = delete;
    LinkThread& operator=(const LinkThread&) = delete;

    // The parent for device objects: it lives in the link's thread.
    QObject* context() const;

    template <typename Fn> auto run(Fn&& fn)
    {
        using Result = decltype(fn());
        if constexpr (std::is_void_v<Result>) {
            runJob([&] { fn(); });
        } else {
            Result result{};
            runJob([&] { result = fn(); });
            return result;
        }
    }

private:
    class Context;
    void runJob(const std::function<void()>& job);

    QThread m_thread;
    Context* m_context = nullptr;  // lives in m_thread
    // The job and its completion travel through these members, handed over
    // under m_handOverLock in both directions; Qt's event queue and the
    // semaphore only wake the other side, so the ordering does not rest on
    // synchronisation hidden inside Qt.
    std::mutex m_jobLock;        // one caller at a time
    std::mutex m_handOverLock;   // guards m_job
    std::function<void()> m_job;
    std::binary_semaphore m_jobDone{0};
};

// In the device's thread: appends what arrives on device to received until
// the deadline, until done accepts it, until maxCharacters are in, until
// giveUp says so (asked at least every few tens of milliseconds) or until
// lost() tells that the device has gone. Returns false in the last case.
bool ReadFromDevice(QIODevice& device, QByteArray& received, const QDeadlineTimer& deadline,
                    qsizetype maxCharacters, const ILink::AnswerTest& done, const std::function<bool()>& giveUp,
                    const std::function<bool()>& lost);

// In the device's thread: reads and throws away what arrives until nothing
// has come for kQuietLookMs (before anything arrived) or kQuietGapMs (once
// characters are arriving), at most upTo. Returns false when lost() tells
// that the device has gone.
bool DrainUntilQuiet(QIODevice& device, std::chrono::milliseconds upTo, const std::function<bool()>& lost);
