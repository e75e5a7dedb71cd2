#include "toolkit/LateFocusLoss.h"

#include <QGuiApplication>
#include <QMenu>
#include <QTimer>
#include <QWindow>

namespace {

// Lives as long as its menu.
class LateFocusLossGuard : public QObject
{
public:
    explicit LateFocusLossGuard(QMenu* menu) : QObject(menu)
    {
        connect(menu, &QMenu::aboutToShow, this, [this] {
            // The window Qt holds as having the focus is no longer shown: the
            // news of the loss is still to come.
            const QWindow* focus = QGuiApplication::focusWindow();
            m_newsPending = focus && !focus->isVisible();
        });
        connect(menu, &QMenu::aboutToHide, this, [this, menu] {
            const bool newsPending = std::exchange(m_newsPending, false);
            // Closed by the news, Qt has just marked the program inactive; closed
            // by the user (a choice, Escape, a click elsewhere), it is active.
            if (!newsPending || QGuiApplication::applicationState() == Qt::ApplicationActive)
                return;
            const QPoint at = menu->pos();
            // Not at once: Qt is still closing every open menu.
            QTimer::singleShot(0, menu, [menu, at] { menu->popup(at); });
        });
    }

private:
    bool m_newsPending = false;
};

} // namespace

void keepOpenThroughLateFocusLoss(QMenu* menu)
{
    new LateFocusLossGuard(menu);
}
