#include "toolkit/TooltipDuration.h"

#include <QHelpEvent>
#include <QToolTip>
#include <QWidget>

TooltipDuration::TooltipDuration(int milliseconds, QObject* parent)
    : QObject(parent), m_milliseconds(milliseconds)
{
}

bool TooltipDuration::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::ToolTip || !watched->isWidgetType())
        return QObject::eventFilter(watched, event);
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->toolTip().isEmpty())
        return QObject::eventFilter(watched, event);
    const auto* help = static_cast<QHelpEvent*>(event);
    QToolTip::showText(help->globalPos(), widget->toolTip(), widget, widget->rect(),
                       m_milliseconds);
    return true;
}
