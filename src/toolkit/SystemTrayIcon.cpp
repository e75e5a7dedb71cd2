#include "toolkit/SystemTrayIcon.h"

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

} // namespace

SystemTrayIcon::SystemTrayIcon(const QIcon& icon, int tipRefreshIntervalMs, QObject* parent)
    : TrayIcon(parent), m_icon(new QSystemTrayIcon(icon, this)),
      m_clicks(
          new TrayClickSorter(QGuiApplication::styleHints()->mouseDoubleClickInterval(), this)),
      m_hostWatcher(new TrayHostWatcher([] { return QSystemTrayIcon::isSystemTrayAvailable(); },
                                        TrayHostWatcher::DefaultPollMs, this))
{
    // Qt docks a shown icon in a tray that appears later by itself.
    connect(m_hostWatcher, &TrayHostWatcher::appeared, this, [this] {
        if (isShown())
            emit trayAppeared();
    });
    connect(m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                switch (reason) {
                case QSystemTrayIcon::Trigger:
                    // A StatusNotifier host reports its primary action as a
                    // Trigger, and no double click can follow it.
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
    connect(m_clicks, &TrayClickSorter::clicked, this, &TrayIcon::clicked);
    connect(m_clicks, &TrayClickSorter::doubleClicked, this, &TrayIcon::doubleClicked);
    m_tipRefresh.setInterval(tipRefreshIntervalMs);
    connect(&m_tipRefresh, &QTimer::timeout, this, &SystemTrayIcon::raiseTipDueWherePointerUnseen);
    qApp->installEventFilter(this);
}

SystemTrayIcon::~SystemTrayIcon()
{
    qApp->removeEventFilter(this);
}

void SystemTrayIcon::show()
{
    m_icon->show();
    m_tipRefresh.start();
}

void SystemTrayIcon::hide()
{
    m_tipRefresh.stop();
    m_icon->hide();
}

bool SystemTrayIcon::isShown() const
{
    return m_icon->isVisible();
}

bool SystemTrayIcon::isAvailable() const
{
    // Asked each time: a tray host may start or stop while the program runs.
    // Where there is none, one is watched for from then on.
    const bool available = QSystemTrayIcon::isSystemTrayAvailable();
    if (!available && isShown())
        m_hostWatcher->watch();
    return available;
}

void SystemTrayIcon::setToolTip(const QString& tip)
{
    m_icon->setToolTip(tip);
}

QString SystemTrayIcon::toolTip() const
{
    return m_icon->toolTip();
}

void SystemTrayIcon::setMenu(QMenu* menu)
{
    m_icon->setContextMenu(menu);
    if (menu)
        connect(menu, &QMenu::aboutToShow, this, &SystemTrayIcon::raiseTipDueWherePointerUnseen);
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
