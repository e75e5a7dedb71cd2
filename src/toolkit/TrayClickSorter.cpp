#include "toolkit/TrayClickSorter.h"

TrayClickSorter::TrayClickSorter(int doubleClickIntervalMs, QObject* parent) : QObject(parent)
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(doubleClickIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        const Qt::MouseButton button = m_pending;
        m_pending = Qt::NoButton;
        emit clicked(button);
    });
}

void TrayClickSorter::press(Qt::MouseButton button)
{
    if (m_timer.isActive())
        return; // the second press of a double click; its notice follows
    m_pending = button;
    m_timer.start();
}

void TrayClickSorter::doublePress()
{
    m_timer.stop();
    m_pending = Qt::NoButton;
    emit doubleClicked();
}
