#include "toolkit/DBusMenuExporter.h"

#include <QActionGroup>
#include <QDBusMetaType>
#include <QEvent>
#include <QGuiApplication>
#include <QMenu>

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuLayoutItem& item)
{
    argument.beginStructure();
    argument << item.id << item.properties;
    argument.beginArray(qMetaTypeId<QDBusVariant>());
    for (const DBusMenuLayoutItem& child : item.children)
        argument << QDBusVariant(QVariant::fromValue(child));
    argument.endArray();
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuLayoutItem& item)
{
    argument.beginStructure();
    argument >> item.id >> item.properties;
    item.children.clear();
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        item.children.append(qdbus_cast<DBusMenuLayoutItem>(child.variant()));
    }
    argument.endArray();
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuItemProperties& item)
{
    argument.beginStructure();
    argument << item.id << item.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuItemProperties& item)
{
    argument.beginStructure();
    argument >> item.id >> item.properties;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuEvent& event)
{
    argument.beginStructure();
    argument << event.id << event.eventId << event.data << event.timestamp;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuEvent& event)
{
    argument.beginStructure();
    argument >> event.id >> event.eventId >> event.data >> event.timestamp;
    argument.endStructure();
    return argument;
}

namespace {

// dbusmenu marks the mnemonic with "_" where Qt uses "&".
QString dbusMenuLabel(const QString& text)
{
    QString label;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'&' && i + 1 < text.size()) {
            ++i;
            label += text.at(i) == u'&' ? QStringLiteral("&") : u'_' + QString(text.at(i));
        } else if (c == u'_') {
            label += QStringLiteral("__");
        } else {
            label += c;
        }
    }
    return label;
}

QVariantMap actionProperties(const QAction* action)
{
    QVariantMap properties;
    if (action->isSeparator()) {
        properties.insert(QStringLiteral("type"), QStringLiteral("separator"));
    } else {
        properties.insert(QStringLiteral("label"), dbusMenuLabel(action->text()));
        if (action->menu())
            properties.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
        if (action->isCheckable()) {
            const bool radio = action->actionGroup() && action->actionGroup()->isExclusive();
            properties.insert(QStringLiteral("toggle-type"),
                              radio ? QStringLiteral("radio") : QStringLiteral("checkmark"));
            properties.insert(QStringLiteral("toggle-state"), action->isChecked() ? 1 : 0);
        }
        if (!action->icon().name().isEmpty())
            properties.insert(QStringLiteral("icon-name"), action->icon().name());
    }
    // Absent means true.
    if (!action->isEnabled())
        properties.insert(QStringLiteral("enabled"), false);
    if (!action->isVisible())
        properties.insert(QStringLiteral("visible"), false);
    return properties;
}

void registerTypes()
{
    static const bool registered = [] {
        qDBusRegisterMetaType<DBusMenuLayoutItem>();
        qDBusRegisterMetaType<DBusMenuItemProperties>();
        qDBusRegisterMetaType<DBusMenuItemPropertiesList>();
        qDBusRegisterMetaType<DBusMenuEvent>();
        qDBusRegisterMetaType<DBusMenuEventList>();
        // D-Bus finds a method's argument types by the names they are written with.
        qRegisterMetaType<DBusMenuItemPropertiesList>("DBusMenuItemPropertiesList");
        qRegisterMetaType<DBusMenuEventList>("DBusMenuEventList");
        return true;
    }();
    Q_UNUSED(registered);
}

} // namespace

DBusMenuExporter::DBusMenuExporter(QDBusConnection bus, QObject* parent)
    : QObject(parent), m_bus(std::move(bus))
{
    registerTypes();
    m_layoutChanged.setSingleShot(true);
    m_layoutChanged.setInterval(0);
    connect(&m_layoutChanged, &QTimer::timeout, this,
            [this] { emit LayoutUpdated(++m_revision, 0); });
}

DBusMenuExporter::~DBusMenuExporter()
{
    unexport();
}

bool DBusMenuExporter::exportAt(const QString& path)
{
    unexport();
    if (!m_bus.registerObject(path, this,
                              QDBusConnection::ExportAllProperties |
                                  QDBusConnection::ExportScriptableSlots |
                                  QDBusConnection::ExportScriptableSignals))
        return false;
    m_path = path;
    return true;
}

void DBusMenuExporter::unexport()
{
    if (!m_path.isEmpty())
        m_bus.unregisterObject(m_path);
    m_path.clear();
}

void DBusMenuExporter::setMenu(QMenu* menu)
{
    if (m_menu)
        m_menu->removeEventFilter(this);
    m_menu = menu;
    if (menu)
        watchMenu(menu);
    m_layoutChanged.start();
}

QString DBusMenuExporter::textDirection() const
{
    return QGuiApplication::layoutDirection() == Qt::RightToLeft ? QStringLiteral("rtl")
                                                                 : QStringLiteral("ltr");
}

void DBusMenuExporter::watchMenu(QMenu* menu)
{
    // Installed again for a menu already watched, it is still called once.
    menu->installEventFilter(this);
}

bool DBusMenuExporter::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::ActionAdded:
    case QEvent::ActionRemoved:
    case QEvent::ActionChanged:
        m_layoutChanged.start();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

int DBusMenuExporter::idOf(QAction* action)
{
    auto known = m_ids.constFind(action);
    if (known != m_ids.constEnd() && m_actions.value(*known) == action)
        return *known;
    const int id = m_nextId++;
    m_ids.insert(action, id);
    m_actions.insert(id, action);
    connect(action, &QObject::destroyed, this, [this, action, id] {
        m_ids.remove(action);
        m_actions.remove(id);
    });
    return id;
}

QAction* DBusMenuExporter::actionOf(int id) const
{
    return m_actions.value(id);
}

QMenu* DBusMenuExporter::menuOf(int id) const
{
    if (id == 0)
        return m_menu;
    const QAction* action = actionOf(id);
    return action ? action->menu() : nullptr;
}

QVariantMap DBusMenuExporter::propertiesOf(int id, const QStringList& names)
{
    QVariantMap properties;
    if (id == 0)
        properties.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
    else if (const QAction* action = actionOf(id))
        properties = actionProperties(action);
    if (names.isEmpty())
        return properties;
    QVariantMap asked;
    for (const QString& name : names) {
        if (properties.contains(name))
            asked.insert(name, properties.value(name));
    }
    return asked;
}

DBusMenuLayoutItem DBusMenuExporter::layoutOf(int id, int depth, const QStringList& names)
{
    DBusMenuLayoutItem item{id, propertiesOf(id, names), {}};
    QMenu* menu = menuOf(id);
    if (!menu || depth == 0)
        return item;
    watchMenu(menu);
    const QList<QAction*> actions = menu->actions();
    for (QAction* action : actions)
        item.children.append(layoutOf(idOf(action), depth < 0 ? -1 : depth - 1, names));
    return item;
}

uint DBusMenuExporter::GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                                 DBusMenuLayoutItem& layout)
{
    if (parentId != 0 && !actionOf(parentId)) {
        sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("No menu item %1").arg(parentId));
        return 0;
    }
    layout = layoutOf(parentId, recursionDepth, propertyNames);
    return m_revision;
}

DBusMenuItemPropertiesList DBusMenuExporter::GetGroupProperties(const QList<int>& ids,
                                                                const QStringList& propertyNames)
{
    DBusMenuItemPropertiesList found;
    for (int id : ids) {
        if (id == 0 || actionOf(id))
            found.append({id, propertiesOf(id, propertyNames)});
    }
    return found;
}

QDBusVariant DBusMenuExporter::GetProperty(int id, const QString& name)
{
    const QVariantMap properties = propertiesOf(id, {name});
    if (!properties.contains(name))
        sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("No property %1").arg(name));
    return QDBusVariant(properties.value(name, QString()));
}

bool DBusMenuExporter::handleEvent(int id, const QString& eventId)
{
    QAction* action = actionOf(id);
    if (id != 0 && !action)
        return false;
    if (eventId == QLatin1String("clicked")) {
        // Triggered once the host has its answer: the action may end the program.
        if (action && action->isEnabled() && !action->isSeparator() && !action->menu())
            QMetaObject::invokeMethod(action, &QAction::trigger, Qt::QueuedConnection);
    } else if (eventId == QLatin1String("opened")) {
        QMenu* menu = menuOf(id);
        if (menu && !m_announced.removeAll(menu))
            emit menu->aboutToShow();
    } else if (eventId == QLatin1String("closed")) {
        if (QMenu* menu = menuOf(id)) {
            m_announced.removeAll(menu);
            emit menu->aboutToHide();
        }
    }
    return true;
}

void DBusMenuExporter::Event(int id, const QString& eventId, const QDBusVariant&, uint)
{
    if (!handleEvent(id, eventId))
        sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("No menu item %1").arg(id));
}

QList<int> DBusMenuExporter::EventGroup(const DBusMenuEventList& events)
{
    QList<int> idErrors;
    for (const DBusMenuEvent& event : events) {
        if (!handleEvent(event.id, event.eventId))
            idErrors.append(event.id);
    }
    if (!events.isEmpty() && idErrors.size() == events.size())
        sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("No such menu items"));
    return idErrors;
}

bool DBusMenuExporter::AboutToShow(int id)
{
    if (QMenu* menu = menuOf(id)) {
        // Each AboutToShow is an opening; an "opened" event that follows is the same one.
        m_announced.removeAll(menu);
        m_announced.append(menu);
        emit menu->aboutToShow();
    }
    // The menu's own handlers change it at once where they change it: a
    // change comes as LayoutUpdated, nothing is to be fetched again now.
    return false;
}

QList<int> DBusMenuExporter::AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors)
{
    idErrors.clear();
    for (int id : ids) {
        if (id != 0 && !actionOf(id))
            idErrors.append(id);
        else
            AboutToShow(id);
    }
    return {};
}
