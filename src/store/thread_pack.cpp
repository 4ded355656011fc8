#include "store/thread_pack.h"

#include <QCoreApplication>

TThreadPack::TThreadPack(TDevInfo& store, AppGlobals& globals, QObject* parent)
    : QThread(parent), m_poller(store, globals, *this, [this] { return isInterruptionRequested(); })
{
    setObjectName(QStringLiteral("pack-polling"));
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
}

void TThreadPack::run()
{
    while (!isInterruptionRequested())
        m_poller.RunPass();
    emit commStateChanged(0);
}
