#include "app/pending_frames.h"

TPendingCommandPage::TPendingCommandPage(QWidget* parent)
    : QFrame(parent)
{
}
