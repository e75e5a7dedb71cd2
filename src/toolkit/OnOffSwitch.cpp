#include "toolkit/OnOffSwitch.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

OnOffSwitch::OnOffSwitch(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setAccessibleName(QStringLiteral("On/Off"));
}

void OnOffSwitch::setOn(bool on)
{
    if (m_on == on)
        return;
    m_on = on;
    update();
}

QSize OnOffSwitch::sizeHint() const
{
    return {64, 22};
}

void OnOffSwitch::toggleByUser()
{
    m_on = !m_on;
    update();
    emit stateChanged(m_on);
}

void OnOffSwitch::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        toggleByUser();
}

void OnOffSwitch::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return ||
        event->key() == Qt::Key_Enter) {
        toggleByUser();
        return;
    }
    if ((event->key() == Qt::Key_Right && !m_on) || (event->key() == Qt::Key_Left && m_on)) {
        toggleByUser();
        return;
    }
    QWidget::keyPressEvent(event);
}

void OnOffSwitch::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF track = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal radius = track.height() / 2;
    const QColor onColour(46, 125, 50);
    const QColor offColour(150, 156, 166);
    painter.setPen(QPen(isEnabled() ? QColor(110, 116, 126) : QColor(190, 190, 190), 1));
    painter.setBrush(isEnabled() ? (m_on ? onColour : offColour) : QColor(220, 220, 220));
    painter.drawRoundedRect(track, radius, radius);

    const qreal knobSize = track.height() - 4;
    const qreal knobX = m_on ? track.right() - 2 - knobSize : track.left() + 2;
    const QRectF knob(knobX, track.top() + 2, knobSize, knobSize);
    painter.setPen(QPen(QColor(120, 120, 120), 1));
    painter.setBrush(Qt::white);
    painter.drawEllipse(knob);

    painter.setPen(Qt::white);
    QFont captionFont = font();
    captionFont.setBold(true);
    painter.setFont(captionFont);
    const QRectF textArea = m_on ? QRectF(track.left() + 6, track.top(), knobX - track.left() - 6, track.height())
                                 : QRectF(knob.right(), track.top(), track.right() - knob.right() - 4, track.height());
    painter.drawText(textArea, Qt::AlignCenter, m_on ? tr("On") : tr("Off"));

    if (hasFocus()) {
        painter.setPen(QPen(palette().highlight().color(), 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(track.adjusted(-0.0, -0.0, 0, 0), radius, radius);
    }
}
