#include "toolkit/FocusFrameFollower.h"

#include "toolkit/TabStrip.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QFocusFrame>
#include <QPushButton>

FocusFrameFollower::FocusFrameFollower(QWidget* window)
    : QObject(window), m_window(window), m_frame(new QFocusFrame(window))
{
    m_frame->hide(); // until a control needs it
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget*, QWidget* now) { focusChanged(now); });
}

bool FocusFrameFollower::showsNoFocus(const QWidget* control)
{
    if (const auto* button = qobject_cast<const QPushButton*>(control))
        return button->isDefault();
    // The tab strip draws its own focus ring.
    return qobject_cast<const QAbstractScrollArea*>(control) &&
           !qobject_cast<const TabStrip*>(control);
}

void FocusFrameFollower::focusChanged(QWidget* now)
{
    if (!m_frame)
        return;
    const bool framed = now && now->window() == m_window && showsNoFocus(now);
    m_frame->setWidget(framed ? now : nullptr);
}
