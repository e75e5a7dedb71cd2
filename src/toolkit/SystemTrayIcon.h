#pragma once

#include "toolkit/TrayIcon.h"

#include <QIcon>
#include <QPointer>
#include <QTimer>

class QSystemTrayIcon;
class StatusNotifierItem;
class TrayClickSorter;
class TrayHostWatcher;

// The tray icon. Where a StatusNotifier host (a D-Bus tray: KDE, waybar, Xfce's
// panel) is registered it is a StatusNotifierItem of our own, whose tip has the
// program's name as its title and the status lines as its body; elsewhere, and
// until such a host appears, a QSystemTrayIcon (an XEmbed tray), whose tip is
// the text as given. On an XEmbed tray Qt hosts the icon in a hidden widget that
// receives the pointer's Enter and MouseMove events; they are turned into
// pointerMoved. A StatusNotifier tray reports no pointer movement: there tipDue
// is raised when the menu opens and every tipRefreshIntervalMs while the icon is
// shown.
class SystemTrayIcon : public TrayIcon
{
    Q_OBJECT

public:
    // Half a minute: a tip nobody can refresh by pointing at it is at most that
    // old, for one short local exchange, on the trays that need it only.
    static constexpr int DefaultTipRefreshMs = 30000;
    // How long a StatusNotifier tray may be away (a panel restarting) before
    // the icon goes back to an XEmbed tray.
    static constexpr int StatusNotifierGraceMs = 3000;

    explicit SystemTrayIcon(const QIcon& icon, int tipRefreshIntervalMs = DefaultTipRefreshMs,
                            QObject* parent = nullptr);
    ~SystemTrayIcon() override;

    void show() override;
    void hide() override;
    bool isShown() const override;
    bool isAvailable() const override;
    void setToolTip(const QString& tip) override;
    QString toolTip() const override;
    void setMenu(QMenu* menu) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Whether the tray host reports the pointer over the icon (an XEmbed tray).
    bool reportsPointer() const;
    void raiseTipDueWherePointerUnseen();
    // Gives the icon the tip in the form its tray shows.
    void applyToolTip();
    void makeQtIcon();
    // Takes the place of Qt's icon once a StatusNotifier host is there.
    void makeStatusNotifierItem();
    // Gives the place back to Qt's icon when the StatusNotifier tray has gone
    // for good, so that an XEmbed tray left on an X11 desktop shows the icon.
    void fallBackToQtIcon();
    bool trayAvailableNow() const;

    QIcon m_picture;
    // One of the two at a time, or neither on Wayland until a host is there.
    QSystemTrayIcon* m_icon = nullptr;
    StatusNotifierItem* m_item = nullptr;
    QPointer<QMenu> m_menu;
    bool m_shown = false;
    TrayClickSorter* m_clicks;
    // Started by isAvailable when it finds no tray.
    TrayHostWatcher* m_hostWatcher;
    QTimer m_tipRefresh;
    QString m_tip;
};
