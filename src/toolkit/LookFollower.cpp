#include "toolkit/LookFollower.h"

#include <QEvent>
#include <QWidget>

LookFollower::LookFollower(QWidget* window, std::function<void()> apply)
    : QObject(window), m_apply(std::move(apply))
{
    window->installEventFilter(this);
    m_apply();
}

bool LookFollower::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ApplicationFontChange ||
        event->type() == QEvent::ApplicationPaletteChange)
        m_apply();
    return QObject::eventFilter(watched, event);
}
