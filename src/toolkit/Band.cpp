#include "toolkit/Band.h"

#include <QLinearGradient>
#include <QPainter>

Band::Band(QWidget* parent) : QWidget(parent) {}

void Band::setColours(const QColor& top, const QColor& bottom, const QColor& text,
                      const QColor& line, Line edge)
{
    m_top = top;
    m_bottom = bottom;
    m_line = line;
    m_edge = edge;
    QPalette colours;
    colours.setColor(QPalette::Window, bottom);
    colours.setColor(QPalette::WindowText, text);
    setPalette(colours);
    update();
}

void Band::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QLinearGradient gradient(0, 0, 0, height());
    gradient.setColorAt(0, m_top);
    gradient.setColorAt(1, m_bottom);
    painter.fillRect(rect(), gradient);
    painter.setPen(m_line);
    const int y = m_edge == Line::Top ? 0 : height() - 1;
    painter.drawLine(0, y, width() - 1, y);
}
