#include "toolkit/SystemTrayIcon.h"

#include "toolkit/LateFocusLoss.h"
#include "toolkit/StatusNotifierHost.h"
#include "toolkit/StatusNotifierItem.h"
#include "toolkit/TrayClickSorter.h"
#include "toolkit/TrayHostWatcher.h"

#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QStyleHints>
#include <QSystemTrayIcon>

namespace {

// The hidden widget through which Qt embeds the icon in an XEmbed tray.
bool isXEmbedIconHost(const QObject* object)
{
    return object->isWidgetType() &&
           object->metaObject()->className() == QByteArrayLiteral("QSystemTrayIconSys");
}

bool onWayland()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

// A StatusNotifier tray shows a title with a body under it: the program's name
// (the tip's first line), then the status lines with the desktop's line breaks.
// The underline of "=" signs and the CR LF belong to the tip an XEmbed tray draws.
std::pair<QString, QString> statusNotifierTip(const QString& tip)
{
    QStringList lines = tip.split(QStringLiteral("\r\n"));
    const QString title = lines.takeFirst();
    if (!lines.isEmpty() && !lines.first().isEmpty() &&
        lines.first().count(QLatin1Char('=')) == lines.first().size())
        lines.removeFirst();
    return {title, lines.join(QLatin1Char('\n'))};
}

} // namespace

SystemTrayIcon::SystemTrayIcon(const QIcon& icon, int tipRefreshIntervalMs, QObject* parent)
    : TrayIcon(parent), m_picture(icon),
      m_clicks(
          new TrayClickSorter(QGuiApplication::styleHints()->mouseDoubleClickInterval(), this)),
      m_hostWatcher(new TrayHostWatcher([this] { return trayAvailableNow(); },
                                        TrayHostWatcher::DefaultPollMs, this))
{
    // Qt docks a shown icon in a tray that appears later by itself, and a
    // StatusNotifierItem registers with a watcher that appears.
    connect(m_hostWatcher, &TrayHostWatcher::appeared, this, [this] {
        if (isShown()) {
            applyToolTip();
            emit trayAppeared();
        }
    });
    connect(m_clicks, &TrayClickSorter::clicked, this, &TrayIcon::clicked);
    connect(m_clicks, &TrayClickSorter::doubleClicked, this, &TrayIcon::doubleClicked);
    m_tipRefresh.setInterval(tipRefreshIntervalMs);
    connect(&m_tipRefresh, &QTimer::timeout, this, &SystemTrayIcon::raiseTipDueWherePointerUnseen);
    qApp->installEventFilter(this);
    if (statusnotifier::hostRegistered()) {
        makeStatusNotifierItem();
        return;
    }
    // On Wayland Qt's icon can only be a StatusNotifier one too: none until a host is there.
    if (!onWayland())
        makeQtIcon();
    statusnotifier::whenHostRegistered(this, [this] { makeStatusNotifierItem(); });
}

void SystemTrayIcon::makeQtIcon()
{
    m_icon = new QSystemTrayIcon(m_picture, this);
    connect(m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                switch (reason) {
                case QSystemTrayIcon::Trigger:
                    // Qt makes a StatusNotifier icon of its own where a watcher
                    // is there without its host yet: it reports the primary
                    // action as a Trigger, and no double click can follow it.
                    if (reportsPointer())
                        m_clicks->press(Qt::LeftButton);
                    else
                        emit activated();
                    break;
                case QSystemTrayIcon::MiddleClick:
                    m_clicks->press(Qt::MiddleButton);
                    break;
                case QSystemTrayIcon::Context:
                    m_clicks->press(Qt::RightButton);
                    break;
                case QSystemTrayIcon::DoubleClick:
                    m_clicks->doublePress();
                    break;
                default:
                    break;
                }
            });
    if (m_menu)
        m_icon->setContextMenu(m_menu);
}

void SystemTrayIcon::makeStatusNotifierItem()
{
    if (m_item)
        return;
    delete m_icon;
    m_icon = nullptr;
    const QString themeName = QGuiApplication::desktopFileName();
    m_item = new StatusNotifierItem(QCoreApplication::applicationName(),
                                    QGuiApplication::applicationDisplayName(),
                                    QDBusConnection::sessionBus(), this);
    m_item->setIcon(m_picture, QIcon::hasThemeIcon(themeName) ? themeName : QString());
    m_item->setMenu(m_menu);
    connect(m_item, &StatusNotifierItem::activated, this, &TrayIcon::activated);
    connect(m_item, &StatusNotifierItem::secondaryActivated, this,
            [this] { m_clicks->press(Qt::MiddleButton); });
    connect(m_item, &StatusNotifierItem::contextMenuRequested, this, [this](const QPoint& at) {
        m_clicks->press(Qt::RightButton);
        // Only for a tray that draws no menu of its own; a Wayland client cannot
        // place a menu on the screen.
        if (m_menu && !onWayland())
            m_menu->popup(at);
    });
    // Wayland has no XEmbed tray: there the item waits for its host to come back.
    if (!onWayland())
        statusnotifier::whenWatcherGone(m_item, StatusNotifierGraceMs,
                                        [this] { fallBackToQtIcon(); });
    if (m_shown) {
        m_item->show();
        applyToolTip();
        // Made for a host that came after the program: the window that waited
        // for a tray may go to it now.
        emit trayAppeared();
    }
}

void SystemTrayIcon::fallBackToQtIcon()
{
    if (!m_item)
        return;
    // Deleted later: this runs from a timer the item owns.
    m_item->deleteLater();
    m_item = nullptr;
    makeQtIcon();
    if (m_shown) {
        m_icon->show();
        applyToolTip();
        if (QSystemTrayIcon::isSystemTrayAvailable())
            emit trayAppeared();
        else
            m_hostWatcher->watch();
    }
    statusnotifier::whenHostRegistered(this, [this] { makeStatusNotifierItem(); });
}

SystemTrayIcon::~SystemTrayIcon()
{
    qApp->removeEventFilter(this);
}

void SystemTrayIcon::show()
{
    m_shown = true;
    if (m_item)
        m_item->show();
    if (m_icon)
        m_icon->show();
    applyToolTip();
    m_tipRefresh.start();
}

void SystemTrayIcon::hide()
{
    m_shown = false;
    m_tipRefresh.stop();
    if (m_item)
        m_item->hide();
    if (m_icon)
        m_icon->hide();
}

bool SystemTrayIcon::isShown() const
{
    return m_shown;
}

bool SystemTrayIcon::isAvailable() const
{
    // Asked each time: a tray host may start or stop while the program runs.
    // Where there is none, one is watched for from then on.
    const bool available = trayAvailableNow();
    if (!available && isShown())
        m_hostWatcher->watch();
    return available;
}

bool SystemTrayIcon::trayAvailableNow() const
{
    if (m_item)
        return statusnotifier::hostRegistered();
    // An icon still waiting for its host has none; Qt is not asked before it
    // is made, or its answer would stand for good.
    return m_icon && QSystemTrayIcon::isSystemTrayAvailable();
}

void SystemTrayIcon::setToolTip(const QString& tip)
{
    m_tip = tip;
    applyToolTip();
}

void SystemTrayIcon::applyToolTip()
{
    if (m_item && !m_tip.isEmpty()) {
        const auto [title, body] = statusNotifierTip(m_tip);
        m_item->setTitle(title);
        m_item->setToolTip(title, body);
    }
    if (m_icon)
        m_icon->setToolTip(m_tip);
}

QString SystemTrayIcon::toolTip() const
{
    return m_tip;
}

void SystemTrayIcon::setMenu(QMenu* menu)
{
    m_menu = menu;
    if (m_item)
        m_item->setMenu(menu);
    if (m_icon)
        m_icon->setContextMenu(menu);
    if (menu) {
        connect(menu, &QMenu::aboutToShow, this, &SystemTrayIcon::raiseTipDueWherePointerUnseen);
        // Opened from the icon, often just after the window went to the tray.
        keepOpenThroughLateFocusLoss(menu);
    }
}

bool SystemTrayIcon::reportsPointer() const
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::any_of(windows.cbegin(), windows.cend(),
                       [](const QWidget* window) { return isXEmbedIconHost(window); });
}

void SystemTrayIcon::raiseTipDueWherePointerUnseen()
{
    // On an XEmbed tray the pointer and the click that opens the menu refresh
    // already; a second refresh there would only repeat the exchange.
    if (isShown() && isAvailable() && !reportsPointer())
        emit tipDue();
}

bool SystemTrayIcon::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseMove && isXEmbedIconHost(watched))
        emit pointerMoved();
    return TrayIcon::eventFilter(watched, event);
}
