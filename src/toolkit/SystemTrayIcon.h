#pragma once

#include "toolkit/TrayIcon.h"

#include <QIcon>
#include <QPointer>
#include <QTimer>

class QSystemTrayIcon;
class TrayClickSorter;
class TrayHostWatcher;

// The tray icon on QSystemTrayIcon. On an XEmbed tray Qt hosts the icon in a
// hidden widget that receives the pointer's Enter and MouseMove events; they are
// turned into pointerMoved. A StatusNotifier (D-Bus) tray reports no pointer
// movement: there tipDue is raised when the menu opens and every
// tipRefreshIntervalMs while the icon is shown.
class SystemTrayIcon : public TrayIcon
{
    Q_OBJECT

public:
    // Half a minute: a tip nobody can refresh by pointing at it is at most that
    // old, for one short local exchange, on the trays that need it only.
    static constexpr int DefaultTipRefreshMs = 30000;

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
    void makeIcon();

    QIcon m_picture;
    // Made at once, or where Qt can only use a StatusNotifier host (Wayland)
    // once the host is there: Qt asks once, when the first icon is made,
    // whether there is one, and an icon made before the panel never appears.
    QSystemTrayIcon* m_icon = nullptr;
    QPointer<QMenu> m_menu;
    bool m_shown = false;
    TrayClickSorter* m_clicks;
    // Started by isAvailable when it finds no tray.
    TrayHostWatcher* m_hostWatcher;
    QTimer m_tipRefresh;
    QString m_tip;
};
