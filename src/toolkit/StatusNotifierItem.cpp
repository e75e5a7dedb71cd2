#include "toolkit/StatusNotifierItem.h"

#include "toolkit/DBusMenuExporter.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QImage>
#include <QtEndian>

const QString StatusNotifierItem::ItemPath = QStringLiteral("/StatusNotifierItem");
const QString StatusNotifierItem::MenuPath = QStringLiteral("/MenuBar");

QDBusArgument& operator<<(QDBusArgument& argument, const StatusNotifierPixmap& pixmap)
{
    argument.beginStructure();
    argument << pixmap.width << pixmap.height << pixmap.pixels;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, StatusNotifierPixmap& pixmap)
{
    argument.beginStructure();
    argument >> pixmap.width >> pixmap.height >> pixmap.pixels;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const StatusNotifierToolTip& tip)
{
    argument.beginStructure();
    argument << tip.iconName << tip.pixmaps << tip.title << tip.body;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, StatusNotifierToolTip& tip)
{
    argument.beginStructure();
    argument >> tip.iconName >> tip.pixmaps >> tip.title >> tip.body;
    argument.endStructure();
    return argument;
}

StatusNotifierPixmaps statusNotifierPixmaps(const QIcon& icon)
{
    StatusNotifierPixmaps pixmaps;
    for (const int size : {16, 22, 24, 32, 48, 64}) {
        const QImage image =
            icon.pixmap(QSize(size, size), 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
        if (image.isNull())
            continue;
        StatusNotifierPixmap pixmap{image.width(), image.height(), {}};
        pixmap.pixels.resize(qsizetype(image.width()) * image.height() * 4);
        auto* out = reinterpret_cast<quint32*>(pixmap.pixels.data());
        for (int y = 0; y < image.height(); ++y) {
            const auto* line = reinterpret_cast<const quint32*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x)
                *out++ = qToBigEndian<quint32>(line[x]);
        }
        pixmaps.append(pixmap);
    }
    return pixmaps;
}

namespace {

const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");

void registerTypes()
{
    static const bool registered = [] {
        qDBusRegisterMetaType<StatusNotifierPixmap>();
        qDBusRegisterMetaType<StatusNotifierPixmaps>();
        qDBusRegisterMetaType<StatusNotifierToolTip>();
        // D-Bus finds a property's type by the name it is written with.
        qRegisterMetaType<StatusNotifierPixmaps>("StatusNotifierPixmaps");
        return true;
    }();
    Q_UNUSED(registered);
}

} // namespace

StatusNotifierItem::StatusNotifierItem(const QString& id, const QString& title, QDBusConnection bus,
                                       QObject* parent)
    : QObject(parent), m_bus(std::move(bus)), m_id(id), m_title(title),
      m_menu(new DBusMenuExporter(m_bus, this))
{
    registerTypes();
    static int instances = 0;
    m_serviceName = QStringLiteral("org.kde.StatusNotifierItem-%1-%2")
                        .arg(QCoreApplication::applicationPid())
                        .arg(++instances);
    m_toolTip.title = title;
    // A watcher that appears (a panel started late or again) knows no items yet.
    auto* watchers = new QDBusServiceWatcher(WatcherService, m_bus,
                                             QDBusServiceWatcher::WatchForRegistration, this);
    connect(watchers, &QDBusServiceWatcher::serviceRegistered, this, [this] {
        if (m_shown)
            registerWithWatcher();
    });
}

StatusNotifierItem::~StatusNotifierItem()
{
    hide();
}

void StatusNotifierItem::setIcon(const QIcon& icon, const QString& themeName)
{
    m_pixmaps = statusNotifierPixmaps(icon);
    m_iconName = themeName;
    emit NewIcon();
}

void StatusNotifierItem::setTitle(const QString& title)
{
    if (m_title == title)
        return;
    m_title = title;
    emit NewTitle();
}

void StatusNotifierItem::setToolTip(const QString& title, const QString& body)
{
    if (m_toolTip.title == title && m_toolTip.body == body)
        return;
    m_toolTip.title = title;
    m_toolTip.body = body;
    emit NewToolTip();
}

void StatusNotifierItem::setMenu(QMenu* menu)
{
    m_menu->setMenu(menu);
}

void StatusNotifierItem::setStatus(const QString& status)
{
    if (m_status == status)
        return;
    m_status = status;
    emit NewStatus(status);
}

void StatusNotifierItem::show()
{
    if (m_shown || !m_bus.isConnected())
        return;
    setStatus(QStringLiteral("Active"));
    const bool exported = m_bus.registerObject(ItemPath, this,
                                               QDBusConnection::ExportAllProperties |
                                                   QDBusConnection::ExportScriptableSlots |
                                                   QDBusConnection::ExportScriptableSignals) &&
                          m_menu->exportAt(MenuPath) && m_bus.registerService(m_serviceName);
    if (!exported) {
        qWarning("The tray icon could not be offered on D-Bus: %s",
                 qPrintable(m_bus.lastError().message()));
        m_menu->unexport();
        m_bus.unregisterObject(ItemPath);
        return;
    }
    m_shown = true;
    registerWithWatcher();
}

void StatusNotifierItem::hide()
{
    if (!m_shown)
        return;
    // The watcher drops the item once its name is gone from the bus.
    setStatus(QStringLiteral("Passive"));
    m_shown = false;
    m_bus.unregisterService(m_serviceName);
    m_menu->unexport();
    m_bus.unregisterObject(ItemPath);
}

void StatusNotifierItem::registerWithWatcher()
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        WatcherService, QStringLiteral("/StatusNotifierWatcher"), WatcherService,
        QStringLiteral("RegisterStatusNotifierItem"));
    call << m_serviceName;
    call.setAutoStartService(false);
    // Not waited for: without a watcher the next one to appear is told.
    auto* reply = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(reply, &QDBusPendingCallWatcher::finished, reply, &QObject::deleteLater);
}

void StatusNotifierItem::Activate(int, int)
{
    emit activated();
}

void StatusNotifierItem::SecondaryActivate(int, int)
{
    emit secondaryActivated();
}

void StatusNotifierItem::ContextMenu(int x, int y)
{
    emit contextMenuRequested(QPoint(x, y));
}

void StatusNotifierItem::Scroll(int, const QString&) {}

void StatusNotifierItem::ProvideXdgActivationToken(const QString& token)
{
    // Comes before Activate on Wayland: the window shown next uses it to get the focus.
    qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
}
