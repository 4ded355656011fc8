#pragma once

#include "protocol/link.h"

#include <QThread>

#include <atomic>
#include <functional>
#include <mutex>
#include <semaphore>

class QSerialPort;

// ILink on QSerialPort. The port object lives in a thread of its own, so
// that any caller (the polling thread, the user-interface thread, a CLI)
// can run an exchange: QSerialPort may only be used from the thread that
// owns it. Calls block until the port thread has done the work.
class SerialLink final : public ILink {
public:
    explicit SerialLink(LinkSettings settings);
    ~SerialLink() override;

    bool open(QString* error) override;
    void close() override;
    bool isOpen() const override;
    QByteArray exchange(const QByteArray& request, std::chrono::milliseconds window,
                        int maxCharacters) override;

    // Silence after data that ends a read: long enough for a USB adapter's
    // buffering, short against the reply windows.
    static std::chrono::milliseconds quietGap(qint32 baudRate);

private:
    class PortContext;
    template <typename Fn> auto runOnPortThread(Fn&& fn);

    LinkSettings m_settings;
    QThread m_thread;
    PortContext* m_context = nullptr;  // lives in m_thread
    QSerialPort* m_port = nullptr;  // lives in m_thread
    std::atomic<bool> m_open{false};
    // The job handed to the port thread (see runOnPortThread).
    std::mutex m_jobLock;        // one caller at a time
    std::mutex m_handOverLock;   // guards m_job
    std::function<void()> m_job;
    std::binary_semaphore m_jobDone{0};
};
