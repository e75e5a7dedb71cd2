#pragma once

#include "toolkit/TrayIcon.h"

// A tray icon that records what the window sets; tests raise its notifications.
class FakeTrayIcon : public TrayIcon
{
    Q_OBJECT

public:
    using TrayIcon::TrayIcon;

    void show() override { m_shown = true; }
    void hide() override { m_shown = false; }
    bool isShown() const override { return m_shown; }
    bool isAvailable() const override { return available; }
    void setToolTip(const QString& tip) override
    {
        m_tip = tip;
        ++tipChanges;
    }
    QString toolTip() const override { return m_tip; }
    void setMenu(QMenu* menu) override { m_menu = menu; }
    QMenu* menu() const { return m_menu; }

    void click(Qt::MouseButton button = Qt::LeftButton) { emit clicked(button); }
    void doubleClick() { emit doubleClicked(); }
    void movePointer() { emit pointerMoved(); }
    void makeTipDue() { emit tipDue(); }

    // Whether the desktop has a notification area.
    bool available = true;
    int tipChanges = 0;

private:
    bool m_shown = false;
    QString m_tip;
    QMenu* m_menu = nullptr;
};
