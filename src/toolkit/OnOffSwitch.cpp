#include "toolkit/OnOffSwitch.h"

#include <QKeyEvent>
#include <QPainter>

namespace {

// The drawn size, at the drawn 11-pixel font.
constexpr int drawnWidth = 64;
constexpr int drawnHeight = 22;
constexpr int knobInset = 2;
constexpr int captionPadding = 6;

} // namespace

OnOffSwitch::OnOffSwitch(QWidget* parent) : QAbstractButton(parent)
{
    setCheckable(true);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // Every change but setOn()'s is the user's: clicks, keys and an assistive
    // technology's toggle, which changes the state without a click.
    connect(this, &QAbstractButton::toggled, this, [this](bool on) {
        if (!m_settingFromProgram)
            emit stateChanged(on);
    });
}

void OnOffSwitch::setOn(bool on)
{
    m_settingFromProgram = true;
    setChecked(on);
    m_settingFromProgram = false;
}

QFont OnOffSwitch::captionFont() const
{
    QFont caption = font();
    caption.setBold(true);
    return caption;
}

QSize OnOffSwitch::sizeHint() const
{
    const QFontMetrics metrics(captionFont());
    const int height = qMax(drawnHeight, metrics.height() + 9);
    const int knob = height - 2 * knobInset;
    const int caption =
        qMax(metrics.horizontalAdvance(tr("On")), metrics.horizontalAdvance(tr("Off")));
    return {qMax(drawnWidth, knob + 2 * knobInset + caption + 2 * captionPadding), height};
}

QSize OnOffSwitch::minimumSizeHint() const
{
    return sizeHint();
}

void OnOffSwitch::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        click();
        return;
    case Qt::Key_Right:
    case Qt::Key_Left:
        if ((event->key() == Qt::Key_Right) != isChecked())
            click();
        else
            event->ignore(); // already there; unlike other buttons, no move to the next control
        return;
    case Qt::Key_Up:
    case Qt::Key_Down:
        event->ignore();
        return;
    default:
        // Space: pressed on the key's press, toggled on its release.
        QAbstractButton::keyPressEvent(event);
    }
}

void OnOffSwitch::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool on = isChecked();
    const QRectF track = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal radius = track.height() / 2;
    // White captions reach a contrast of 4.5 on either track colour.
    const QColor onColour(46, 125, 50);
    const QColor offColour(110, 116, 126);
    painter.setPen(QPen(isEnabled() ? QColor(84, 90, 100) : QColor(190, 190, 190), 1));
    painter.setBrush(isEnabled() ? (on ? onColour : offColour) : QColor(220, 220, 220));
    painter.drawRoundedRect(track, radius, radius);

    const qreal knobSize = track.height() - 2 * knobInset;
    const qreal knobX = on ? track.right() - knobInset - knobSize : track.left() + knobInset;
    const QRectF knob(knobX, track.top() + knobInset, knobSize, knobSize);
    painter.setPen(QPen(QColor(120, 120, 120), 1));
    painter.setBrush(Qt::white);
    painter.drawEllipse(knob);

    painter.setPen(Qt::white);
    painter.setFont(captionFont());
    const QRectF captionArea =
        on ? QRectF(track.left(), track.top(), knob.left() - track.left(), track.height())
           : QRectF(knob.right(), track.top(), track.right() - knob.right(), track.height());
    painter.drawText(captionArea, Qt::AlignCenter, on ? tr("On") : tr("Off"));

    if (hasFocus()) {
        // Its own ring, whatever the style does for focus.
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.setBrush(Qt::NoBrush);
        const QRectF ring = track.adjusted(0.5, 0.5, -0.5, -0.5);
        painter.drawRoundedRect(ring, ring.height() / 2, ring.height() / 2);
    }
}
