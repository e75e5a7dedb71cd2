#pragma once

#include <QObject>
#include <QString>

class QMenu;

// The program's icon in the notification area. clicked is raised for a single
// click of any button once the double-click time has passed without a second
// click; a double click raises doubleClicked only. pointerMoved is raised for
// each pointer movement over the icon where the tray host reports it. Where it
// cannot (StatusNotifier trays), tipDue is raised instead when the icon's menu
// opens and at a steady interval while the icon is shown, so that what the tip
// says can still be kept current. Those trays also have a primary action of
// their own (a left click there, never a double click): it raises activated at
// once, and no clicked or doubleClicked.
class TrayIcon : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~TrayIcon() override;

    // Whether the icon is meant to be shown (the user can remove it).
    virtual void show() = 0;
    virtual void hide() = 0;
    virtual bool isShown() const = 0;
    // Whether the desktop has a notification area to show the icon in now. Without
    // one a window hidden to the tray could not be reached again.
    virtual bool isAvailable() const = 0;
    virtual void setToolTip(const QString& tip) = 0;
    virtual QString toolTip() const = 0;
    // The menu opened by a right click; its default item is drawn bold.
    virtual void setMenu(QMenu* menu) = 0;

signals:
    void clicked(Qt::MouseButton button);
    void doubleClicked();
    void activated();
    void pointerMoved();
    void tipDue();
    // A notification area appeared where there was none: the icon is in it now.
    void trayAppeared();
};
