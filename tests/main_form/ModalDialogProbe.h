#pragma once

#include <QDialog>
#include <QEvent>
#include <QPointer>
#include <functional>

// Looks into a modal dialog from inside its own event loop: each time the dialog
// shows, the action runs once the loop turns, and the dialog is then rejected
// unless the action closed it. So a test never waits on a modal dialog.
class ModalDialogProbe : public QObject
{
public:
    using Action = std::function<void(QDialog&)>;

    explicit ModalDialogProbe(QDialog& dialog, Action action = {})
        : m_dialog(&dialog), m_action(std::move(action))
    {
        dialog.installEventFilter(this);
    }

    int shows() const { return m_shows; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_dialog && event->type() == QEvent::Show) {
            ++m_shows;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (!m_dialog)
                        return;
                    if (m_action)
                        m_action(*m_dialog);
                    if (m_dialog && m_dialog->isVisible())
                        m_dialog->reject();
                },
                Qt::QueuedConnection);
        }
        return false;
    }

private:
    QPointer<QDialog> m_dialog;
    Action m_action;
    int m_shows = 0;
};
