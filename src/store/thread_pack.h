#pragma once

#include "store/pack_poller.h"

#include <QThread>

#include <atomic>

// The polling thread. It runs PackPoller pass after pass until a stop is
// requested and reaches the window only through its signals. The window
// connects them with Qt::BlockingQueuedConnection, so each runs on the
// user-interface thread while this thread waits, as a synchronised call.
//
// Stop() asks the thread to end and waits for it; the thread looks at the
// request between commands, so it ends within one exchange. While waiting,
// Stop() keeps delivering the thread's pending signals, so a thread blocked
// in a synchronised call can finish it instead of deadlocking.
class TThreadPack final : public QThread, private IPollView {
    Q_OBJECT
public:
    TThreadPack(TDevInfo& store, AppGlobals& globals, QObject* parent = nullptr);
    ~TThreadPack() override;

    // Called on the user-interface thread. Returns when the thread has ended.
    void Stop();

signals:
    void refreshHead();
    void commStateChanged(int state);
    void packTimeShown(RDeviceTime packTime, std::uint8_t lastResult);
    void statusShown(std::uint16_t softwareVersion, QString barCode, std::uint8_t echoedPack);
    void refreshAnalog();
    void refreshAlarm();
    void refreshLocation();
    // The port went away; the thread ends by itself after it. Connected
    // queued (not synchronised): the window stops the thread in answer.
    void portLost();

protected:
    void run() override;

private:
    void RefreshHead() override { emit refreshHead(); }
    void SetCommState(int state) override { emit commStateChanged(state); }
    void ShowPackTime(const RDeviceTime& packTime, std::uint8_t lastResult) override
    {
        emit packTimeShown(packTime, lastResult);
    }
    void ShowStatus(std::uint16_t softwareVersion, const QString& barCode, std::uint8_t echoedPack) override
    {
        emit statusShown(softwareVersion, barCode, echoedPack);
    }
    void RefreshAnalog() override { emit refreshAnalog(); }
    void RefreshAlarm() override { emit refreshAlarm(); }
    void RefreshLocation() override { emit refreshLocation(); }
    bool PortLost() override
    {
        emit portLost();
        return true;
    }

    PackPoller m_poller;
    std::atomic<bool> m_runEnded{false};
};
