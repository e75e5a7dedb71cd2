#include "support/TestTime.h"
#include "toolkit/DBusMenuExporter.h"
#include "toolkit/StatusNotifierItem.h"

#include <QActionGroup>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QMenu>
#include <QPixmap>
#include <QProcess>
#include <QtTest>

namespace {

const QString MenuPath = QStringLiteral("/MenuBar");
const QString MenuInterface = QStringLiteral("com.canonical.dbusmenu");
const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");

// An entry of a fetched layout in one line: "label", "label (disabled)",
// "separator", submenus' children indented under their parent.
void describe(const DBusMenuLayoutItem& item, int depth, QStringList* lines)
{
    for (const DBusMenuLayoutItem& child : item.children) {
        const QVariantMap& p = child.properties;
        QString line = p.value(QStringLiteral("type")).toString() == QLatin1String("separator")
                           ? QStringLiteral("separator")
                           : p.value(QStringLiteral("label")).toString();
        if (!p.value(QStringLiteral("enabled"), true).toBool())
            line += QStringLiteral(" (disabled)");
        if (p.contains(QStringLiteral("toggle-type")))
            line += QStringLiteral(" [%1 %2]")
                        .arg(p.value(QStringLiteral("toggle-type")).toString(),
                             p.value(QStringLiteral("toggle-state")).toString());
        lines->append(QString(depth * 2, u' ') + line);
        describe(child, depth + 1, lines);
    }
}

int idOf(const DBusMenuLayoutItem& item, const QString& label)
{
    for (const DBusMenuLayoutItem& child : item.children) {
        if (child.properties.value(QStringLiteral("label")).toString() == label)
            return child.id;
        if (const int id = idOf(child, label))
            return id;
    }
    return 0;
}

} // namespace

// A tray's ear for the menu's announcements.
class LayoutUpdates : public QObject
{
    Q_OBJECT

public:
    QList<uint> revisions;

public slots:
    void heard(uint revision, int) { revisions.append(revision); }
};

// The watcher side of a tray, as a panel runs it: the items register with it.
class Watcher : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)

public:
    bool hostRegistered() const { return true; }
    QStringList registrations;

public slots:
    void RegisterStatusNotifierItem(const QString& service) { registrations.append(service); }
};

// The menu and the icon as a StatusNotifier tray sees them, on a session bus of
// the test's own: a real dbus-daemon, the exporter on one connection and the
// tray's side on another.
class TestStatusNotifierItem : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void layoutHasTheMenusItems();
    void clickTriggersOnlyEnabledItems_data();
    void clickTriggersOnlyEnabledItems();
    void aChangeIsAnnouncedAndFetched();
    void openingReachesTheMenuOncePerOpening();
    void groupPropertiesAndUnknownItems();
    void itemOffersTipIconAndMenu();
    void itemRegistersWithEachWatcherAndLeavesOnHide();

private:
    QDBusMessage call(const QString& service, const QString& path, const QString& interface,
                      const QString& method, const QVariantList& arguments = {});
    QDBusMessage callMenu(const QString& method, const QVariantList& arguments = {});
    DBusMenuLayoutItem layout(uint* revision = nullptr);
    QVariant itemProperty(const QString& service, const QString& name);

    QProcess m_bus;
    QString m_address;
    std::unique_ptr<QDBusConnection> m_program;
    std::unique_ptr<QDBusConnection> m_tray;
    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<DBusMenuExporter> m_exporter;
    QAction* m_exit = nullptr;
    QAction* m_show = nullptr;
};

void TestStatusNotifierItem::initTestCase()
{
    if (QStandardPaths::findExecutable("dbus-daemon").isEmpty())
        QSKIP("dbus-daemon is needed for a session bus");
    m_bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    QVERIFY(m_bus.waitForStarted(testtime::scaled(5000)));
    QVERIFY(QTest::qWaitFor([&] { return m_bus.canReadLine() || m_bus.waitForReadyRead(100); }));
    m_address = QString::fromLatin1(m_bus.readLine()).trimmed();
    m_program = std::make_unique<QDBusConnection>(
        QDBusConnection::connectToBus(m_address, QStringLiteral("program")));
    m_tray = std::make_unique<QDBusConnection>(
        QDBusConnection::connectToBus(m_address, QStringLiteral("tray")));
    QVERIFY(m_program->isConnected() && m_tray->isConnected());
}

void TestStatusNotifierItem::cleanupTestCase()
{
    m_program.reset();
    m_tray.reset();
    QDBusConnection::disconnectFromBus(QStringLiteral("program"));
    QDBusConnection::disconnectFromBus(QStringLiteral("tray"));
    m_bus.kill();
    m_bus.waitForFinished(testtime::scaled(3000));
}

void TestStatusNotifierItem::init()
{
    // The icon's menu as the program builds it, with a submenu and toggles besides.
    m_menu = std::make_unique<QMenu>();
    m_menu->addAction(QStringLiteral("Public IP Address: 203.0.113.7"));
    m_menu->addAction(QStringLiteral("Local IP Address: 10.0.0.2"));
    m_menu->addSeparator();
    m_show = m_menu->addAction(QStringLiteral("Show Velmora"));
    m_menu->addSeparator();
    QMenu* more = m_menu->addMenu(QStringLiteral("&More && more"));
    QAction* wide = more->addAction(QStringLiteral("wide_view"));
    wide->setCheckable(true);
    wide->setChecked(true);
    auto* group = new QActionGroup(more);
    group->addAction(more->addAction(QStringLiteral("One")))->setCheckable(true);
    more->addAction(QStringLiteral("Off"))->setEnabled(false);
    m_exit = m_menu->addAction(QStringLiteral("E&xit"));
    m_exporter = std::make_unique<DBusMenuExporter>(*m_program);
    m_exporter->setMenu(m_menu.get());
    QVERIFY(m_exporter->exportAt(MenuPath));
}

void TestStatusNotifierItem::cleanup()
{
    m_exporter.reset();
    m_menu.reset();
}

QDBusMessage TestStatusNotifierItem::call(const QString& service, const QString& path,
                                          const QString& interface, const QString& method,
                                          const QVariantList& arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    // Waited for with the event loop running: the answering side is in this thread.
    QDBusPendingCall pending = m_tray->asyncCall(message, testtime::scaled(5000));
    if (!QTest::qWaitFor([&] { return pending.isFinished(); }, testtime::scaled(6000)))
        return {};
    return pending.reply();
}

QDBusMessage TestStatusNotifierItem::callMenu(const QString& method, const QVariantList& arguments)
{
    return call(m_program->baseService(), MenuPath, MenuInterface, method, arguments);
}

DBusMenuLayoutItem TestStatusNotifierItem::layout(uint* revision)
{
    const QDBusMessage reply = callMenu("GetLayout", {0, -1, QStringList()});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2)
        return {};
    if (revision)
        *revision = reply.arguments().at(0).toUInt();
    return qdbus_cast<DBusMenuLayoutItem>(reply.arguments().at(1));
}

void TestStatusNotifierItem::layoutHasTheMenusItems()
{
    const DBusMenuLayoutItem root = layout();
    QCOMPARE(root.id, 0);
    QCOMPARE(root.properties.value("children-display").toString(), QStringLiteral("submenu"));
    QStringList lines;
    describe(root, 0, &lines);
    const QStringList expected{"Public IP Address: 203.0.113.7",
                               "Local IP Address: 10.0.0.2",
                               "separator",
                               "Show Velmora",
                               "separator",
                               "_More & more",
                               "  wide__view [checkmark 1]",
                               "  One [radio 0]",
                               "  Off (disabled)",
                               "E_xit"};
    QCOMPARE(lines, expected);

    // Asked for some properties only, and one level deep.
    const QDBusMessage reply = callMenu("GetLayout", {0, 1, QStringList{"type"}});
    const auto shallow = qdbus_cast<DBusMenuLayoutItem>(reply.arguments().value(1));
    QCOMPARE(shallow.children.size(), 7);
    QVERIFY(shallow.children.at(5).children.isEmpty());
    QVERIFY(!shallow.children.at(0).properties.contains("label"));
    QCOMPARE(shallow.children.at(2).properties.value("type").toString(),
             QStringLiteral("separator"));
}

void TestStatusNotifierItem::clickTriggersOnlyEnabledItems_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("asGroup");
    QTest::newRow("enabled") << true << false;
    QTest::newRow("enabled, in a group of events") << true << true;
    QTest::newRow("disabled") << false << false;
}

void TestStatusNotifierItem::clickTriggersOnlyEnabledItems()
{
    QFETCH(bool, enabled);
    QFETCH(bool, asGroup);
    m_exit->setEnabled(enabled);
    QSignalSpy exits(m_exit, &QAction::triggered);
    QSignalSpy shows(m_show, &QAction::triggered);
    const int id = idOf(layout(), "E_xit");
    QVERIFY(id > 0);
    const QVariant data = QVariant::fromValue(QDBusVariant(QString()));
    QDBusMessage reply;
    if (asGroup) {
        DBusMenuEventList events{{id, QStringLiteral("clicked"), QDBusVariant(QString()), 0}};
        reply = callMenu("EventGroup", {QVariant::fromValue(events)});
    } else {
        reply = callMenu("Event", {id, QStringLiteral("clicked"), data, 0u});
    }
    QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
    if (enabled)
        QTRY_COMPARE(exits.size(), 1);
    else
        QTest::qWait(200);
    QCOMPARE(exits.size(), enabled ? 1 : 0);
    QCOMPARE(shows.size(), 0);
}

void TestStatusNotifierItem::aChangeIsAnnouncedAndFetched()
{
    uint before = 0;
    layout(&before);
    // Heard on the bus, as the tray hears it.
    LayoutUpdates updates;
    QVERIFY(m_tray->connect(m_program->baseService(), MenuPath, MenuInterface, "LayoutUpdated",
                            &updates, SLOT(heard(uint, int))));
    m_menu->actions().at(0)->setText(QStringLiteral("Public IP Address: 198.51.100.23"));
    m_exit->setEnabled(false);
    // Both changes in one announcement.
    QTRY_COMPARE(updates.revisions.size(), 1);
    QVERIFY(updates.revisions.at(0) > before);
    uint after = 0;
    QStringList lines;
    describe(layout(&after), 0, &lines);
    QCOMPARE(after, updates.revisions.at(0));
    QCOMPARE(lines.first(), QStringLiteral("Public IP Address: 198.51.100.23"));
    QCOMPARE(lines.last(), QStringLiteral("E_xit (disabled)"));

    // An added item too.
    m_menu->addAction(QStringLiteral("Later"));
    QTRY_COMPARE(updates.revisions.size(), 2);
    lines.clear();
    describe(layout(), 0, &lines);
    QCOMPARE(lines.last(), QStringLiteral("Later"));
}

void TestStatusNotifierItem::openingReachesTheMenuOncePerOpening()
{
    QSignalSpy shown(m_menu.get(), &QMenu::aboutToShow);
    QSignalSpy hidden(m_menu.get(), &QMenu::aboutToHide);
    const QVariant data = QVariant::fromValue(QDBusVariant(QString()));
    // As libdbusmenu opens a menu: AboutToShow, then the "opened" event.
    QCOMPARE(callMenu("AboutToShow", {0}).type(), QDBusMessage::ReplyMessage);
    QCOMPARE(callMenu("Event", {0, QStringLiteral("opened"), data, 0u}).type(),
             QDBusMessage::ReplyMessage);
    QCOMPARE(shown.size(), 1);
    QCOMPARE(callMenu("Event", {0, QStringLiteral("closed"), data, 0u}).type(),
             QDBusMessage::ReplyMessage);
    QCOMPARE(hidden.size(), 1);
    // A tray that only asks AboutToShow, each time it opens the menu.
    callMenu("AboutToShow", {0});
    callMenu("AboutToShow", {0});
    QCOMPARE(shown.size(), 3);
    // One that only sends "opened".
    callMenu("Event", {0, QStringLiteral("closed"), data, 0u});
    callMenu("Event", {0, QStringLiteral("opened"), data, 0u});
    QCOMPARE(shown.size(), 4);
}

void TestStatusNotifierItem::groupPropertiesAndUnknownItems()
{
    const DBusMenuLayoutItem root = layout();
    const int exit = idOf(root, "E_xit");
    const QDBusMessage group = callMenu(
        "GetGroupProperties", {QVariant::fromValue(QList<int>{exit, 999}), QStringList{"label"}});
    QCOMPARE(group.type(), QDBusMessage::ReplyMessage);
    const auto found = qdbus_cast<DBusMenuItemPropertiesList>(group.arguments().value(0));
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.at(0).id, exit);
    QCOMPARE(found.at(0).properties.value("label").toString(), QStringLiteral("E_xit"));

    const QDBusMessage property = callMenu("GetProperty", {exit, QStringLiteral("label")});
    QCOMPARE(property.arguments().value(0).value<QDBusVariant>().variant().toString(),
             QStringLiteral("E_xit"));
    const QVariant data = QVariant::fromValue(QDBusVariant(QString()));
    QCOMPARE(callMenu("Event", {999, QStringLiteral("clicked"), data, 0u}).type(),
             QDBusMessage::ErrorMessage);
    QCOMPARE(callMenu("GetLayout", {999, -1, QStringList()}).type(), QDBusMessage::ErrorMessage);
    const QDBusMessage version =
        call(m_program->baseService(), MenuPath, "org.freedesktop.DBus.Properties", "Get",
             {MenuInterface, QStringLiteral("Version")});
    QCOMPARE(version.arguments().value(0).value<QDBusVariant>().variant().toUInt(), 3u);
}

QVariant TestStatusNotifierItem::itemProperty(const QString& service, const QString& name)
{
    const QDBusMessage reply =
        call(service, StatusNotifierItem::ItemPath, "org.freedesktop.DBus.Properties", "Get",
             {QStringLiteral("org.kde.StatusNotifierItem"), name});
    return reply.arguments().value(0).value<QDBusVariant>().variant();
}

void TestStatusNotifierItem::itemOffersTipIconAndMenu()
{
    m_exporter.reset(); // the item offers its own
    QPixmap picture(16, 16);
    picture.fill(QColor(0x11, 0x22, 0x33));
    StatusNotifierItem item(QStringLiteral("velmora"), QStringLiteral("Velmora"), *m_program);
    item.setIcon(QIcon(picture));
    item.setMenu(m_menu.get());
    item.setToolTip(QStringLiteral("Velmora"), QStringLiteral("Computer Name: pc\nPublic IP "
                                                              "Address: 203.0.113.7"));
    item.show();
    const QString service = item.serviceName();
    QTRY_VERIFY(m_tray->interface()->isServiceRegistered(service));

    const auto tip = qdbus_cast<StatusNotifierToolTip>(itemProperty(service, "ToolTip"));
    QCOMPARE(tip.title, QStringLiteral("Velmora"));
    QCOMPARE(tip.body, QStringLiteral("Computer Name: pc\nPublic IP Address: 203.0.113.7"));
    QCOMPARE(itemProperty(service, "Status").toString(), QStringLiteral("Active"));
    QCOMPARE(itemProperty(service, "Menu").value<QDBusObjectPath>().path(),
             StatusNotifierItem::MenuPath);

    const auto pixmaps = qdbus_cast<StatusNotifierPixmaps>(itemProperty(service, "IconPixmap"));
    QVERIFY(!pixmaps.isEmpty());
    const StatusNotifierPixmap& first = pixmaps.first();
    QCOMPARE(first.pixels.size(), first.width * first.height * 4);
    // A, R, G, B whatever the machine's byte order.
    QCOMPARE(first.pixels.left(4), QByteArray("\xff\x11\x22\x33"));

    // A new tip is announced, and read as such.
    QSignalSpy newTips(&item, &StatusNotifierItem::NewToolTip);
    item.setToolTip(QStringLiteral("Velmora"), QStringLiteral("Public IP Address: 198.51.100.23"));
    QCOMPARE(newTips.size(), 1);
    QCOMPARE(qdbus_cast<StatusNotifierToolTip>(itemProperty(service, "ToolTip")).body,
             QStringLiteral("Public IP Address: 198.51.100.23"));

    // The menu is the one the item names.
    QStringList lines;
    describe(layout(), 0, &lines);
    QCOMPARE(lines.last(), QStringLiteral("E_xit"));
    QSignalSpy activations(&item, &StatusNotifierItem::activated);
    QCOMPARE(call(service, StatusNotifierItem::ItemPath, "org.kde.StatusNotifierItem", "Activate",
                  {0, 0})
                 .type(),
             QDBusMessage::ReplyMessage);
    QCOMPARE(activations.size(), 1);
}

void TestStatusNotifierItem::itemRegistersWithEachWatcherAndLeavesOnHide()
{
    StatusNotifierItem item(QStringLiteral("velmora"), QStringLiteral("Velmora"), *m_program);
    item.setMenu(m_menu.get());
    m_exporter.reset();
    // No watcher yet: the item waits on the bus.
    item.show();
    const QString service = item.serviceName();
    QTRY_VERIFY(m_tray->interface()->isServiceRegistered(service));

    for (int round = 1; round <= 3; ++round) {
        // A panel starts (or starts again): its watcher hears of the item.
        Watcher watcher;
        QVERIFY(m_tray->registerObject("/StatusNotifierWatcher", &watcher,
                                       QDBusConnection::ExportAllSlots |
                                           QDBusConnection::ExportAllProperties));
        QVERIFY(m_tray->registerService(WatcherService));
        QTRY_COMPARE(watcher.registrations, QStringList{service});
        m_tray->unregisterService(WatcherService);
        m_tray->unregisterObject("/StatusNotifierWatcher");
    }

    QSignalSpy statuses(&item, &StatusNotifierItem::NewStatus);
    item.hide();
    QTRY_VERIFY(!m_tray->interface()->isServiceRegistered(service));
    QCOMPARE(statuses.size(), 1);
    QCOMPARE(statuses.at(0).at(0).toString(), QStringLiteral("Passive"));
    QCOMPARE(callMenu("GetLayout", {0, -1, QStringList()}).type(), QDBusMessage::ErrorMessage);
}

QTEST_MAIN(TestStatusNotifierItem)
#include "tst_status_notifier_item.moc"
