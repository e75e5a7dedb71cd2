#include "toolkit/PasswordStars.h"

#include <QApplication>
#include <QLineEdit>
#include <QProxyStyle>

namespace {

class StarStyle : public QProxyStyle
{
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

void showPasswordAsStars(QLineEdit* field)
{
    // A proxy of the application's own style, not a style sheet: fields under a style
    // sheet stop following their window's font.
    auto* style = new StarStyle(QApplication::style()->name());
    style->setParent(field);
    field->setStyle(style);
}
