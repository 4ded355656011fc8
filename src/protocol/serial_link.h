#pragma once

#include "protocol/link.h"
#include "protocol/link_thread.h"

#include <QDeadlineTimer>

#include <atomic>
#include <functional>

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
    QByteArray exchangeUntil(const QByteArray& request, std::chrono::milliseconds window, int maxCharacters,
                             const AnswerTest& isAnswer, const std::function<bool()>& giveUp) override;
    void discardLate(std::chrono::milliseconds upTo, const std::function<bool()>& giveUp) override;
    void awaitQuiet(std::chrono::milliseconds upTo) override;
    QByteArray listen(std::chrono::milliseconds upTo, const std::function<bool()>& giveUp) override;

private:
    // In the port thread, once the port is open: the RS485 mode asked for
    // (refused: an error), low latency where offered, and an empty input.
    QString prepareOpenPort();

    // In the port thread: appends what arrives to received until the
    // deadline, until done accepts it, until maxCharacters are in or until
    // giveUp says so (asked at least every few tens of milliseconds).
    void readInto(QByteArray& received, const QDeadlineTimer& deadline, qsizetype maxCharacters,
                  const AnswerTest& done, const std::function<bool()>& giveUp = {});

    LinkSettings m_settings;
    LinkThread m_thread;
    QSerialPort* m_port = nullptr;  // lives in m_thread
    std::atomic<bool> m_open{false};
};
