#include "app/pending_frames.h"

TPendingRealTimeData::TPendingRealTimeData(QWidget* parent)
    : QFrame(parent)
{
}

TPendingPackDataMonitor::TPendingPackDataMonitor(QWidget* parent)
    : QFrame(parent)
{
}

TPendingPackLocation::TPendingPackLocation(QWidget* parent)
    : QFrame(parent)
{
}

TPendingCommandPage::TPendingCommandPage(QWidget* parent)
    : QFrame(parent)
{
}
