#include "views/password_echo.h"

#include <QApplication>
#include <QLineEdit>
#include <QProxyStyle>
#include <QStyleFactory>

namespace {

// The application's style with one hint changed: the mask character of a
// password field.
class StarPasswordStyle final : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

void ShowPasswordAsStars(QLineEdit* edit)
{
    // The proxy owns its base style, so it gets one of its own made like
    // the application's; the field owns the proxy. Setting the style makes
    // the field read its mask character again.
    auto* style = new StarPasswordStyle(QStyleFactory::create(QApplication::style()->name()));
    style->setParent(edit);
    edit->setStyle(style);
    edit->setEchoMode(QLineEdit::Password);
}
