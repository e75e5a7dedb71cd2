#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusVariant>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QAction;
class QMenu;

// One entry of a menu's layout as the dbusmenu interface sends it: (ia{sv}av),
// the children each wrapped in a variant.
struct DBusMenuLayoutItem
{
    int id = 0;
    QVariantMap properties;
    QList<DBusMenuLayoutItem> children;
};

// An entry's properties alone: (ia{sv}).
struct DBusMenuItemProperties
{
    int id = 0;
    QVariantMap properties;
};
using DBusMenuItemPropertiesList = QList<DBusMenuItemProperties>;

// One of the events a host sends together: (isvu).
struct DBusMenuEvent
{
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};
using DBusMenuEventList = QList<DBusMenuEvent>;

Q_DECLARE_METATYPE(DBusMenuLayoutItem)
Q_DECLARE_METATYPE(DBusMenuItemProperties)
Q_DECLARE_METATYPE(DBusMenuEvent)

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuLayoutItem& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuLayoutItem& item);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuItemProperties& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuItemProperties& item);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuEvent& event);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuEvent& event);

// A QMenu offered on D-Bus as com.canonical.dbusmenu, the form in which a
// StatusNotifier tray draws an icon's menu itself: its items with their texts
// ("&" as "_"), enabled states, separators and submenus; a click there triggers
// the action. Any change to the menu's actions is announced with LayoutUpdated.
class DBusMenuExporter : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)

public:
    static constexpr uint ProtocolVersion = 3;

    explicit DBusMenuExporter(QDBusConnection bus, QObject* parent = nullptr);
    ~DBusMenuExporter() override;

    // Offers the menu at `path` on the bus until unexport; false where the path is taken.
    bool exportAt(const QString& path);
    void unexport();
    void setMenu(QMenu* menu);

    uint version() const { return ProtocolVersion; }
    QString textDirection() const;
    QString status() const { return QStringLiteral("normal"); }
    QStringList iconThemePath() const { return {}; }

public slots:
    Q_SCRIPTABLE uint GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                                DBusMenuLayoutItem& layout);
    Q_SCRIPTABLE DBusMenuItemPropertiesList GetGroupProperties(const QList<int>& ids,
                                                               const QStringList& propertyNames);
    Q_SCRIPTABLE QDBusVariant GetProperty(int id, const QString& name);
    Q_SCRIPTABLE void Event(int id, const QString& eventId, const QDBusVariant& data,
                            uint timestamp);
    Q_SCRIPTABLE QList<int> EventGroup(const DBusMenuEventList& events);
    Q_SCRIPTABLE bool AboutToShow(int id);
    Q_SCRIPTABLE QList<int> AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors);

signals:
    Q_SCRIPTABLE void LayoutUpdated(uint revision, int parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The menu an id opens: the root menu for 0, an action's submenu otherwise.
    QMenu* menuOf(int id) const;
    QAction* actionOf(int id) const;
    int idOf(QAction* action);
    QVariantMap propertiesOf(int id, const QStringList& names);
    DBusMenuLayoutItem layoutOf(int id, int depth, const QStringList& names);
    // Handles one event; false for an id the menu does not have.
    bool handleEvent(int id, const QString& eventId);
    void watchMenu(QMenu* menu);

    QDBusConnection m_bus;
    QString m_path;
    QPointer<QMenu> m_menu;
    QHash<QAction*, int> m_ids;
    QHash<int, QPointer<QAction>> m_actions;
    int m_nextId = 1;
    uint m_revision = 1;
    // Changes come in bursts (each text of a refresh): announced once.
    QTimer m_layoutChanged;
    // A host may announce one opening twice (AboutToShow, then the "opened"
    // event): the menu hears of it once.
    QList<QPointer<QMenu>> m_announced;
};
