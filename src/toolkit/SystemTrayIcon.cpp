#include "toolkit/SystemTrayIcon.h"

#include "toolkit/StatusNotifierHost.h"
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

// A StatusNotifier tray shows the tip under the program's name, with the line
// breaks of the desktop: the underline of "=" signs and the CR LF belong to the
// tip an XEmbed tray draws.
QString statusNotifierTip(const QString& tip)
{
    QStringList lines = tip.split(QStringLiteral("\r\n"));
    if (lines.size() > 1 && !lines.at(1).isEmpty() &&
        lines.at(1).count(QLatin1Char('=')) == lines.at(1).size())
        lines.removeAt(1);
    return lines.join(QLatin1Char('\n'));
}

} // namespace

SystemTrayIcon::SystemTrayIcon(const QIcon& icon, int tipRefreshIntervalMs, QObject* parent)
    : TrayIcon(parent), m_picture(icon),
      m_clicks(
          new TrayClickSorter(QGuiApplication::styleHints()->mouseDoubleClickInterval(), this)),
      m_hostWatcher(new TrayHostWatcher([] { return QSystemTrayIcon::isSystemTrayAvailable(); },
                                        TrayHostWatcher::DefaultPollMs, this))
{
    // Qt docks a shown icon in a tray that appears later by itself.
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
    if (statusnotifier::iconMustWaitForHost(this, [this] { makeIcon(); }))
        return;
    makeIcon();
}

void SystemTrayIcon::makeIcon()
{
    if (m_icon)
        return;
    m_icon = new QSystemTrayIcon(m_picture, this);
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
    if (m_menu)
        m_icon->setContextMenu(m_menu);
    if (m_shown) {
        m_icon->show();
        applyToolTip();
        // Made for a host that came after the program: the window that waited
        // for a tray may go to it now.
        emit trayAppeared();
    }
}

SystemTrayIcon::~SystemTrayIcon()
{
    qApp->removeEventFilter(this);
}

void SystemTrayIcon::show()
{
    m_shown = true;
    if (m_icon) {
        m_icon->show();
        applyToolTip();
    }
    m_tipRefresh.start();
}

void SystemTrayIcon::hide()
{
    m_shown = false;
    m_tipRefresh.stop();
    if (m_icon)
        m_icon->hide();
}

bool SystemTrayIcon::isShown() const
{
    return m_shown;
}

bool SystemTrayIcon::isAvailable() const
{
    // An icon still waiting for its host has none; Qt is not asked before it
    // is made, or its answer would stand for good.
    if (!m_icon)
        return false;
    // Asked each time: a tray host may start or stop while the program runs.
    // Where there is none, one is watched for from then on.
    const bool available = QSystemTrayIcon::isSystemTrayAvailable();
    if (!available && isShown())
        m_hostWatcher->watch();
    return available;
}

void SystemTrayIcon::setToolTip(const QString& tip)
{
    m_tip = tip;
    applyToolTip();
}

void SystemTrayIcon::applyToolTip()
{
    if (m_icon)
        m_icon->setToolTip(reportsPointer() ? m_tip : statusNotifierTip(m_tip));
}

QString SystemTrayIcon::toolTip() const
{
    return m_tip;
}

void SystemTrayIcon::setMenu(QMenu* menu)
{
    m_menu = menu;
    if (m_icon)
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
