#include "toolkit/SystemTrayIcon.h"

#include "toolkit/TrayClickSorter.h"

#include <QApplication>
#include <QEvent>
#include <QStyleHints>
#include <QSystemTrayIcon>

SystemTrayIcon::SystemTrayIcon(const QIcon& icon, QObject* parent)
    : TrayIcon(parent), m_icon(new QSystemTrayIcon(icon, this)),
      m_clicks(new TrayClickSorter(QGuiApplication::styleHints()->mouseDoubleClickInterval(), this))
{
    connect(m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                switch (reason) {
                case QSystemTrayIcon::Trigger:
                    m_clicks->press(Qt::LeftButton);
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
    qApp->installEventFilter(this);
}

SystemTrayIcon::~SystemTrayIcon()
{
    qApp->removeEventFilter(this);
}

void SystemTrayIcon::show()
{
    m_icon->show();
}

void SystemTrayIcon::hide()
{
    m_icon->hide();
}

bool SystemTrayIcon::isShown() const
{
    return m_icon->isVisible();
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
}

bool SystemTrayIcon::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseMove && watched->isWidgetType() &&
        watched->metaObject()->className() == QByteArrayLiteral("QSystemTrayIconSys"))
        emit pointerMoved();
    return TrayIcon::eventFilter(watched, event);
}
