#include "views/message_boxes.h"

#include "services/text_ids.h"
#include "services/textoper.h"

#include <QMessageBox>
#include <QScopedValueRollback>
#include <QPushButton>

#include <utility>

namespace MessageBoxes {
namespace {

Answer ShowModal(QWidget* parent, const Request& request)
{
    const QMessageBox::Icon icon =
        request.icon == Icon::Warning ? QMessageBox::Warning : QMessageBox::Information;
    QMessageBox box(icon, request.caption, request.text, QMessageBox::Ok, parent);
    if (request.buttons == Buttons::OkCancel) {
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Cancel);
        box.button(QMessageBox::Ok)->setText(TTextOper().GetLanguageText(TextId::kOk));
        box.button(QMessageBox::Cancel)->setText(TTextOper().GetLanguageText(TextId::kCancel));
    } else {
        box.button(QMessageBox::Ok)->setText(TTextOper().GetLanguageText(TextId::kOk));
    }
    return box.exec() == QMessageBox::Ok ? Answer::Ok : Answer::Cancel;
}

Handler& CurrentHandler()
{
    static Handler handler;
    return handler;
}

// Boxes open now, nested ones counted too; user-interface thread only.
int g_open = 0;

Answer Show(QWidget* parent, const Request& request)
{
    const QScopedValueRollback<int> open(g_open, g_open + 1);
    const Handler& handler = CurrentHandler();
    return handler ? handler(parent, request) : ShowModal(parent, request);
}

QString Caption()
{
    return TTextOper().GetLanguageText(TextId::kMessageCaption);
}

} // namespace

bool AnyOpen()
{
    return g_open > 0;
}

Handler SetHandler(Handler handler)
{
    return std::exchange(CurrentHandler(), std::move(handler));
}

void Inform(QWidget* parent, const QString& text)
{
    Show(parent, Request{Caption(), text, Buttons::Ok});
}

void Inform(QWidget* parent, const QString& caption, const QString& text)
{
    Show(parent, Request{caption, text, Buttons::Ok});
}

void Warn(QWidget* parent, const QString& text)
{
    Show(parent, Request{Caption(), text, Buttons::Ok, Icon::Warning});
}

Answer Ask(QWidget* parent, const QString& text)
{
    return Show(parent, Request{Caption(), text, Buttons::OkCancel});
}

} // namespace MessageBoxes
