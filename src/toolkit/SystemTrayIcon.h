#pragma once

#include "toolkit/TrayIcon.h"

#include <QIcon>

class QSystemTrayIcon;
class TrayClickSorter;

// The tray icon on QSystemTrayIcon. On an XEmbed tray Qt hosts the icon in a
// hidden widget that receives the pointer's Enter and MouseMove events; they are
// turned into pointerMoved. A StatusNotifier (D-Bus) tray reports no pointer
// movement: there the menu's opening refreshes instead (the window connects it).
class SystemTrayIcon : public TrayIcon
{
    Q_OBJECT

public:
    explicit SystemTrayIcon(const QIcon& icon, QObject* parent = nullptr);
    ~SystemTrayIcon() override;

    void show() override;
    void hide() override;
    bool isShown() const override;
    void setToolTip(const QString& tip) override;
    QString toolTip() const override;
    void setMenu(QMenu* menu) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QSystemTrayIcon* m_icon;
    TrayClickSorter* m_clicks;
};
