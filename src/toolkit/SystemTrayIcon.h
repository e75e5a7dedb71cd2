#pragma once

#include "toolkit/TrayIcon.h"

#include <QIcon>
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

    QSystemTrayIcon* m_icon;
    TrayClickSorter* m_clicks;
    // Started by isAvailable when it finds no tray.
    TrayHostWatcher* m_hostWatcher;
    QTimer m_tipRefresh;
};
