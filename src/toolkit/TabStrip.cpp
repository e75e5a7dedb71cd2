#include "toolkit/TabStrip.h"

#include <QEvent>
#include <QPainter>
#include <QStyledItemDelegate>

namespace {

constexpr int padding = 6;
constexpr int gap = 6;
// The drawn tab height, 34 for 24-pixel pictures.
constexpr int verticalPadding = 10;

class TabDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        const bool selected = option.state & QStyle::State_Selected;
        const QPalette& palette = option.palette;
        const QColor caption = palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
        painter->save();
        if (selected)
            painter->fillRect(option.rect, palette.color(QPalette::Highlight));

        const QSize iconSize = option.decorationSize;
        const QRect iconArea(option.rect.left() + padding,
                             option.rect.top() + (option.rect.height() - iconSize.height()) / 2,
                             iconSize.width(), iconSize.height());
        index.data(Qt::DecorationRole).value<QIcon>().paint(painter, iconArea);

        painter->setFont(captionFont(option, selected));
        painter->setPen(caption);
        const QRect textArea(iconArea.right() + 1 + gap, option.rect.top(),
                             option.rect.right() - iconArea.right() - gap, option.rect.height());
        painter->drawText(textArea, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          index.data(Qt::DisplayRole).toString());

        // As styles do, the ring shows once the keyboard moves the focus.
        if ((option.state & QStyle::State_HasFocus) &&
            (option.state & QStyle::State_KeyboardFocusChange)) {
            painter->setPen(QPen(caption, 1, Qt::DotLine));
            painter->setBrush(Qt::NoBrush);
            painter->drawRect(option.rect.adjusted(2, 2, -3, -3));
        }
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        // Wide enough for the bold caption, so selecting a tab never needs more room.
        const QFontMetrics metrics(captionFont(option, true));
        const QSize iconSize = option.decorationSize;
        const int text = metrics.horizontalAdvance(index.data(Qt::DisplayRole).toString());
        return {padding + iconSize.width() + gap + text + padding,
                qMax(iconSize.height(), metrics.height()) + verticalPadding};
    }

private:
    static QFont captionFont(const QStyleOptionViewItem& option, bool selected)
    {
        QFont font = option.font;
        font.setBold(selected);
        return font;
    }
};

} // namespace

TabStrip::TabStrip(QWidget* parent) : QListWidget(parent)
{
    setItemDelegate(new TabDelegate(this));
    setFrameShape(QFrame::NoFrame);
    // The strip is as tall and wide as its tabs: it never scrolls.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
}

void TabStrip::setColours(const QColor& strip, const QColor& caption, const QColor& selectedTab,
                          const QColor& selectedCaption)
{
    QPalette colours;
    colours.setColor(QPalette::Base, strip);
    colours.setColor(QPalette::Window, strip);
    colours.setColor(QPalette::Text, caption);
    colours.setColor(QPalette::Highlight, selectedTab);
    colours.setColor(QPalette::HighlightedText, selectedCaption);
    setPalette(colours);
}

QSize TabStrip::sizeHint() const
{
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    QSize size;
    for (int row = 0; row < count(); ++row) {
        if (isRowHidden(row))
            continue;
        const QSize tab = itemDelegate()->sizeHint(option, model()->index(row, 0));
        size.setWidth(qMax(size.width(), tab.width()));
        size.setHeight(size.height() + tab.height());
    }
    const int frame = 2 * frameWidth();
    return size + QSize(frame, frame);
}

QSize TabStrip::minimumSizeHint() const
{
    return sizeHint();
}

void TabStrip::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        scheduleDelayedItemsLayout();
        updateGeometry();
    }
    QListWidget::changeEvent(event);
}
