#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QIcon>
#include <QObject>

class DBusMenuExporter;
class QMenu;

// One size of an icon: (iiay), ARGB32 pixels in network byte order.
struct StatusNotifierPixmap
{
    int width = 0;
    int height = 0;
    QByteArray pixels;
};
using StatusNotifierPixmaps = QList<StatusNotifierPixmap>;

// (sa(iiay)ss): a tray shows the body under the title.
struct StatusNotifierToolTip
{
    QString iconName;
    StatusNotifierPixmaps pixmaps;
    QString title;
    QString body;
};

Q_DECLARE_METATYPE(StatusNotifierPixmap)
Q_DECLARE_METATYPE(StatusNotifierToolTip)

QDBusArgument& operator<<(QDBusArgument& argument, const StatusNotifierPixmap& pixmap);
const QDBusArgument& operator>>(const QDBusArgument& argument, StatusNotifierPixmap& pixmap);
QDBusArgument& operator<<(QDBusArgument& argument, const StatusNotifierToolTip& tip);
const QDBusArgument& operator>>(const QDBusArgument& argument, StatusNotifierToolTip& tip);

// The sizes of `icon` a tray may ask for, as StatusNotifier sends them.
StatusNotifierPixmaps statusNotifierPixmaps(const QIcon& icon);

// The program's icon in a StatusNotifier tray (KDE, waybar, Xfce's panel,
// GNOME's AppIndicator extension): org.kde.StatusNotifierItem on the session
// bus with its menu as com.canonical.dbusmenu. While shown it is registered with
// the tray's watcher, again whenever a watcher appears (a panel that starts late
// or restarts).
class StatusNotifierItem : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconThemePath READ noName)
    Q_PROPERTY(QString IconName READ iconName)
    Q_PROPERTY(StatusNotifierPixmaps IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ noName)
    Q_PROPERTY(StatusNotifierPixmaps OverlayIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionIconName READ noName)
    Q_PROPERTY(StatusNotifierPixmaps AttentionIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionMovieName READ noName)
    Q_PROPERTY(StatusNotifierToolTip ToolTip READ toolTip)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menuPath)

public:
    static const QString ItemPath;
    static const QString MenuPath;

    // `id` names the program to the tray, `title` is its name as people read it.
    StatusNotifierItem(const QString& id, const QString& title,
                       QDBusConnection bus = QDBusConnection::sessionBus(),
                       QObject* parent = nullptr);
    ~StatusNotifierItem() override;

    // `themeName` is given where the icon theme has the picture under that name.
    void setIcon(const QIcon& icon, const QString& themeName = {});
    void setTitle(const QString& title);
    void setToolTip(const QString& title, const QString& body);
    void setMenu(QMenu* menu);
    // Puts the item on the bus and registers it with the watcher; hide takes it off.
    void show();
    void hide();
    // The name the item has on the bus while shown.
    QString serviceName() const { return m_serviceName; }

    QString category() const { return QStringLiteral("ApplicationStatus"); }
    QString id() const { return m_id; }
    QString title() const { return m_title; }
    QString status() const { return m_status; }
    int windowId() const { return 0; }
    QString iconName() const { return m_iconName; }
    StatusNotifierPixmaps iconPixmap() const { return m_pixmaps; }
    StatusNotifierToolTip toolTip() const { return m_toolTip; }
    bool itemIsMenu() const { return false; }
    QDBusObjectPath menuPath() const { return QDBusObjectPath(MenuPath); }
    QString noName() const { return {}; }
    StatusNotifierPixmaps noPixmaps() const { return {}; }

public slots:
    Q_SCRIPTABLE void Activate(int x, int y);
    Q_SCRIPTABLE void SecondaryActivate(int x, int y);
    Q_SCRIPTABLE void ContextMenu(int x, int y);
    Q_SCRIPTABLE void Scroll(int delta, const QString& orientation);
    Q_SCRIPTABLE void ProvideXdgActivationToken(const QString& token);

signals:
    // The tray's primary action (a left click there).
    void activated();
    // Its secondary action (a middle click).
    void secondaryActivated();
    // A tray that draws no menu of its own asks for it at `at`.
    void contextMenuRequested(const QPoint& at);

    Q_SCRIPTABLE void NewTitle();
    Q_SCRIPTABLE void NewIcon();
    Q_SCRIPTABLE void NewToolTip();
    Q_SCRIPTABLE void NewStatus(const QString& status);

private:
    void registerWithWatcher();
    void setStatus(const QString& status);

    QDBusConnection m_bus;
    QString m_serviceName;
    QString m_id;
    QString m_title;
    QString m_status = QStringLiteral("Active");
    QString m_iconName;
    StatusNotifierPixmaps m_pixmaps;
    StatusNotifierToolTip m_toolTip;
    DBusMenuExporter* m_menu;
    bool m_shown = false;
};
