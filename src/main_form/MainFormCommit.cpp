// Validation, change tracking, commit, and the window's life in the tray.
#include "main_form/MainForm.h"

#include "toolkit/AutostartEntry.h"
#include "toolkit/Dialogs.h"
#include "toolkit/SidePager.h"
#include "toolkit/TrayIcon.h"
#include "toolkit/WindowManager.h"
#include "ui_MainForm.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QWindow>
#include <QWindowStateChangeEvent>

bool TFormMain::ValidateTestEmailForm()
{
    const struct
    {
        QLineEdit* field;
        const char* notice;
    } rules[] = {
        {m_ui->txtEmail, "The Email Address cannot be blank."},
        {m_ui->txtSMTP, "The SMTP Server cannot be blank."},
        {m_ui->txtSMTPPort, "The SMTP Port cannot be blank."},
    };
    for (const auto& rule : rules) {
        if (rule.field->text().isEmpty()) {
            m_context.dialogs->notice(QString::fromLatin1(rule.notice));
            selectPageAndFocus(EmailPage, rule.field);
            return false;
        }
    }
    return true;
}

bool TFormMain::ValidateTextMessageForm()
{
    if (m_ui->txtPhoneNumber->text().size() != 10) {
        m_context.dialogs->notice(QStringLiteral("Error: The phone number is not correct."));
        selectPageAndFocus(TextMessagePage, m_ui->txtPhoneNumber);
        return false;
    }
    if (m_ui->cboCellularProviders->currentIndex() < 0) {
        m_context.dialogs->notice(QStringLiteral("Error: Please select a mobile provider."));
        selectPageAndFocus(TextMessagePage, m_ui->cboCellularProviders);
        return false;
    }
    return true;
}

void TFormMain::TextChange()
{
    if (!IsLoading)
        m_ui->btnApply->setEnabled(true);
}

void TFormMain::SwitchEmailAlertsStateChanged(bool on)
{
    if (!IsLoading)
        m_ui->btnApply->setEnabled(true);
    if (on)
        ValidateTestEmailForm();
}

void TFormMain::SwitchTextAlertsStateChanged(bool on)
{
    if (!IsLoading)
        m_ui->btnApply->setEnabled(true);
    if (on)
        ValidateTextMessageForm();
}

void TFormMain::btnApplyClick()
{
    if (!ValidateTestEmailForm())
        return;
    // Apply is disabled by a save that reached the service, and only by one.
    SaveSettings();
}

void TFormMain::btnOKClick()
{
    if (!ValidateTestEmailForm())
        return;
    // After a failed save the window stays, with the changes it could not save.
    if (SaveSettings())
        hideToTray();
}

void TFormMain::AdvGlowButton3Click()
{
    hideToTray();
}

void TFormMain::savePrompt()
{
    if (!m_ui->btnApply->isEnabled())
        return;
    Question question;
    question.caption = QStringLiteral("Settings Not Saved");
    question.text =
        QStringLiteral("The configuration has been modified, would you like to save your changes?");
    question.icon = Question::Icon::Question;
    question.escapeAnswersNo = false;
    question.ownedByWindow = false;
    if (m_context.dialogs->question(question))
        SaveSettings();
}

void TFormMain::FormCloseQuery(bool& canClose)
{
    canClose = SessionEnding;
    if (!SessionEnding)
        savePrompt();
    if (isVisible() && !isMinimized())
        hideToTray();
}

void TFormMain::closeEvent(QCloseEvent* event)
{
    bool canClose = false;
    guarded([this, &canClose] { FormCloseQuery(canClose); });
    if (!canClose) {
        event->ignore();
        return;
    }
    event->accept();
    if (m_context.requestQuit)
        m_context.requestQuit();
}

void TFormMain::endSession()
{
    SessionEnding = true;
    close();
}

void TFormMain::Exit1Click()
{
    if (m_context.requestQuit)
        m_context.requestQuit();
}

void TFormMain::Exit2Click()
{
    savePrompt();
    if (m_context.requestQuit)
        m_context.requestQuit();
}

void TFormMain::chkStartAtLogonClick()
{
    // Takes effect at once, like the tray icon option; nothing for "Apply".
    const bool on = m_ui->chkStartAtLogon->isChecked();
    try {
        m_context.autostart->setEnabled(on);
    } catch (const std::exception&) {
        m_ui->chkStartAtLogon->setChecked(!on);
        throw;
    }
}

void TFormMain::chkHideSysTrayIconClick()
{
    if (!m_context.trayIcon)
        return;
    if (m_ui->chkHideSysTrayIcon->isChecked())
        m_context.trayIcon->hide();
    else
        m_context.trayIcon->show();
}

void TFormMain::hideToTray()
{
    // Hiding alone: minimizing first would race the window manager, whose late
    // "iconic" notice could hide the window again just after it was shown.
    // Taken off the screen by the user: a minimize that comes later is no window
    // manager's late notice to undo.
    m_shownAt.invalidate();
    // Where minimizing means nothing, hiding is the only way off the screen.
    if (canHideToTray() || !windowManagerMinimizes())
        hide();
    else
        showMinimized();
}

bool TFormMain::canHideToTray() const
{
    // Without a notification area the icon cannot be shown, and a hidden window
    // could not be reached again: it goes to the taskbar instead. A user who
    // removed the icon has chosen the hidden window.
    const TrayIcon* tray = m_context.trayIcon;
    return tray && (!tray->isShown() || tray->isAvailable());
}

bool TFormMain::iconInTray() const
{
    const TrayIcon* tray = m_context.trayIcon;
    return tray && tray->isShown() && tray->isAvailable();
}

void TFormMain::showAtStart(bool startInTray)
{
    if (!startInTray)
        show();
    else if (!canHideToTray() && windowManagerMinimizes())
        showMinimized();
}

void TFormMain::ShowVelmora1Click()
{
    // Off the screen now: until it is seen again, a minimize is the window manager's.
    const bool comingBack = !windowHandle() || !windowHandle()->isExposed();
    // Leave the minimized state before showing, or the window comes back iconic.
    setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
    show();
    raise();
    activateWindow();
    if (comingBack)
        m_shownAt.start();
    else
        m_shownAt.invalidate();
}

void TFormMain::trayClicked(Qt::MouseButton button)
{
    UpdateStatus();
    // A window hidden to the tray comes back on a single left click; one never
    // shown since a start in the tray does not.
    if (button == Qt::LeftButton && m_everShown && (isMinimized() || !isVisible()))
        ShowVelmora1Click();
}

void TFormMain::trayDoubleClicked()
{
    ShowVelmora1Click();
    if (isMinimized() || !isVisible())
        ShowVelmora1Click();
}

void TFormMain::trayActivated()
{
    // The primary action of a tray that has one opens the window every time,
    // also when it was never shown since a start in the tray.
    trayDoubleClicked();
}

void TFormMain::trayAppeared()
{
    // A window minimized only for lack of a tray goes to the tray, as it would
    // have had the tray been there.
    if (isMinimized() && iconInTray())
        hide();
}

void TFormMain::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::WindowStateChange && isMinimized()) {
        if (m_shownAt.isValid() && m_shownAt.elapsed() < LateMinimizeMs) {
            // Not the user's: a window manager that was last told "iconic" by the
            // window itself (minimized to the taskbar) may map it iconic again when
            // it is shown. Showing it once more from the minimized state puts that right.
            m_shownAt.invalidate();
            QMetaObject::invokeMethod(this, &TFormMain::ShowVelmora1Click, Qt::QueuedConnection);
        } else if (iconInTray()) {
            // Minimizing hides the window to the tray while the icon is there. The
            // state is looked at again when the hide is due: a window shown again
            // meanwhile stays.
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (isMinimized() && iconInTray())
                        hide();
                },
                Qt::QueuedConnection);
        }
    }
    QWidget::changeEvent(event);
}

void TFormMain::showEvent(QShowEvent* event)
{
    if (!m_everShown && windowHandle())
        windowHandle()->installEventFilter(this);
    m_everShown = true;
    QWidget::showEvent(event);
}

void TFormMain::keyPressEvent(QKeyEvent* event)
{
    // "Send Test Email" is the default button while the Email page shows, unless
    // another button has the focus (a check box is not one: Enter does not tick it).
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const QWidget* focus = focusWidget();
    const bool buttonFocused =
        qobject_cast<const QAbstractButton*>(focus) && !qobject_cast<const QCheckBox*>(focus);
    if (enter && m_pager->currentIndex() == EmailPage && !buttonFocused) {
        m_ui->AdvGlowButton1->click();
        return;
    }
    QWidget::keyPressEvent(event);
}
