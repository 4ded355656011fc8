#include "views/port_check.h"

#include "services/settings.h"
#include "services/text_ids.h"
#include "services/textoper.h"
#include "store/devinfo.h"
#include "store/port_open.h"
#include "views/message_boxes.h"

#include <QThread>

QString PortName(TDevInfo& store, std::uint8_t port)
{
    const QString number = QStringLiteral("COM%1").arg(port);
    const QString device = store.DevOper().PortDevice(port);
    return device.isEmpty() || device == number ? number : QStringLiteral("%1 (%2)").arg(number, device);
}

bool RefusedWhileListening(QWidget* parent)
{
    if (!Globals().Listening)
        return false;
    MessageBoxes::Inform(parent, TTextOper().GetLanguageText(TextId::kRefusedWhileListening));
    return true;
}

bool PortReady(QWidget* parent, TDevInfo* store)
{
    if (RefusedWhileListening(parent))
        return false;
    const AppGlobals& globals = Globals();
    const std::uint8_t port = globals.PortNumber;
    if (store && store->IsSerialOpen(port))
        return true;
    const TTextOper texts;
    if (!store || !globals.PortOpened) {
        MessageBoxes::Inform(parent, texts.GetLanguageText(TextId::kPortNotOpen));
        return false;
    }
    // The polling thread's reconnect. The rest is a plain sleep: a pause
    // that ran the event loop here would let a close or a click run inside
    // this check. The pages run their reopen inside their job instead
    // (TPageCommand); only the dialogs with a runner of their own come here.
    if (ReopenPort(*store, [] {
            QThread::msleep(static_cast<unsigned long>(kPortReopenPause.count()));
            return true;
        }))
        return true;
    MessageBoxes::Inform(parent, texts.GetLanguageText(TextId::kPortWentAwayOnPage).arg(PortName(*store, port)));
    return false;
}
