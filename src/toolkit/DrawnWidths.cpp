#include "toolkit/DrawnWidths.h"

#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFrame>

namespace {

// The room a button's caption needs, as the common style measures it before a style
// applies its smallest width.
int captionWidth(const QPushButton* button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    const QStyle* style = button->style();
    int width = button->fontMetrics().size(Qt::TextShowMnemonic, button->text()).width();
    if (!button->icon().isNull())
        width += button->iconSize().width() + 4;
    width += style->pixelMetric(QStyle::PM_ButtonMargin, &option, button) +
             2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, button);
    if (button->autoDefault() || button->isDefault())
        width += 2 * style->pixelMetric(QStyle::PM_ButtonDefaultIndicator, &option, button);
    return width;
}

} // namespace

void keepDrawnButtonWidths(QWidget* window)
{
    for (QPushButton* button : window->findChildren<QPushButton*>())
        button->setMaximumWidth(qMax(button->minimumWidth(), captionWidth(button)));
}

void keepDrawnFieldWidth(QLineEdit* field, int drawnWidth, const QString& sample)
{
    // As QLineEdit measures its own size hint, for the sample instead of 17 letters.
    QStyleOptionFrame option;
    option.initFrom(field);
    option.lineWidth = field->hasFrame() ? field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth,
                                                                       &option, field)
                                         : 0;
    const QMargins text = field->textMargins();
    const int textMargin = 2;
    const QSize contents(field->fontMetrics().horizontalAdvance(sample) + 2 * textMargin +
                             text.left() + text.right(),
                         field->fontMetrics().height());
    const int needed =
        field->style()->sizeFromContents(QStyle::CT_LineEdit, &option, contents, field).width();
    field->setFixedWidth(qMax(drawnWidth, needed));
}
