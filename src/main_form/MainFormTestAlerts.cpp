// "Send Test Email" and "Send Test Message": the settings as they stand in the
// controls, sent straight through the mail engine; the service takes no part.
#include "main_form/MainForm.h"

#include "alerts/AbstractMailManager.h"
#include "alerts/Email.h"
#include "common/AlertTexts.h"
#include "common/SmtpPort.h"
#include "common/SplitFields.h"
#include "common/WrapMessage.h"
#include "shell/Error.h"
#include "toolkit/Dialogs.h"
#include "ui_MainForm.h"

#include <QApplication>
#include <QLocale>
#include <QScopeGuard>
#include <stdexcept>

namespace {

// A mail manager set up from the Email page: SSL only when ticked, the server,
// the port (a port that does not read ends the attempt here), and credentials
// only when authentication is ticked and both texts are filled.
std::unique_ptr<AbstractMailManager> prepareMailManager(const MainFormContext& context,
                                                        Ui::TFormMain& ui)
{
    std::unique_ptr<AbstractMailManager> mailManager;
    if (context.createMailManager)
        mailManager = context.createMailManager();
    if (!mailManager)
        throw std::runtime_error("The mail engine is not available.");
    if (ui.chkUseSSL->isChecked())
        mailManager->setSmtpSsl(1);
    mailManager->setSmtpHost(ui.txtSMTP->text());
    mailManager->setSmtpPort(parseSmtpPort(ui.txtSMTPPort->text()));
    if (ui.chkAuth->isChecked() && !ui.txtSMTPUsername->text().isEmpty() &&
        !ui.txtSMTPPassword->text().isEmpty()) {
        mailManager->setSmtpUsername(ui.txtSMTPUsername->text());
        mailManager->setSmtpPassword(ui.txtSMTPPassword->text());
    }
    return mailManager;
}

// Removes every blank from the recipient box and writes the result back; the box
// changes, and counts as edited, only when a blank was removed.
QString cleanRecipientText(QLineEdit* field)
{
    QString cleaned = field->text();
    cleaned.remove(u' ');
    if (cleaned != field->text())
        field->setText(cleaned);
    return cleaned;
}

// An entry of a list, or the list error when there is none at that index.
template <typename T> const T& itemAt(const QList<T>& list, qsizetype index)
{
    if (index < 0 || index >= list.size())
        throw std::runtime_error(
            QStringLiteral("List index out of bounds (%1)").arg(index).toStdString());
    return list.at(index);
}

// The send holds the window's thread; the busy cursor goes before any box shows.
int sendWithBusyCursor(AbstractMailManager& mailManager, const Email& email)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const auto restoreCursor = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
    return mailManager.SendEmail(email);
}

} // namespace

TFormError& TFormMain::errorDialog()
{
    // The program makes it at start-up; a window without one makes its own, once.
    if (!m_errorForm)
        m_errorForm = new TFormError(*m_context.shell, this);
    return *m_errorForm;
}

void TFormMain::AdvGlowButton1Click()
{
    if (!ValidateTestEmailForm())
        return;
    const std::unique_ptr<AbstractMailManager> mailManager = prepareMailManager(m_context, *m_ui);
    Email email;
    const QString recipients = cleanRecipientText(m_ui->txtEmail);
    QStringList fields;
    SplitFields(u',', recipients, fields);

    email.setSubject(alerttexts::testEmailSubject());
    const QLocale locale;
    const QString date = locale.toString(m_context.clock().date(), QLocale::ShortFormat);
    const QString time = alerttexts::longTime(locale, m_context.clock().time());
    email.setBody(alerttexts::emailBody(date, time, ComputerName, PublicIP, LocalIP));
    email.setFrom(itemAt(fields, 0));
    email.AddRecipientList(recipients);

    if (sendWithBusyCursor(*mailManager, email) == 1)
        m_context.dialogs->notice(QStringLiteral("Success: Test Email Sent"));
    else
        errorDialog().showError(alerttexts::withoutEngineLogTags(mailManager->LastErrorText()),
                                this);
    // Only now: the connection stays open while the user reads the outcome.
    mailManager->CloseSmtpConnection();
}

void TFormMain::btnSendTestMessageClick()
{
    if (!ValidateTextMessageForm())
        return;
    if (m_ui->txtEmail->text().isEmpty() || m_ui->txtSMTP->text().isEmpty() ||
        m_ui->txtSMTPPort->text().isEmpty()) {
        m_context.dialogs->notice(WrapMessage(QStringLiteral(
            "Velmora uses an email engine to send SMS Text messages to your mobile device.  "
            "Please enter your email details first.")));
        selectPageAndFocus(EmailPage, m_ui->txtEmail);
        return;
    }
    const std::unique_ptr<AbstractMailManager> mailManager = prepareMailManager(m_context, *m_ui);
    Email email;
    QStringList fields;
    SplitFields(u',', cleanRecipientText(m_ui->txtEmail), fields);

    email.setFrom(alerttexts::textMessageSender(itemAt(fields, 0)));
    const TCellularProvider& carrier =
        itemAt(Providers, m_ui->cboCellularProviders->currentIndex());
    email.AddRecipient(
        QString(), alerttexts::textMessageRecipient(m_ui->txtPhoneNumber->text(), carrier.Gateway));
    email.setSubject(alerttexts::testTextMessageSubject());
    email.setBody(alerttexts::textMessageBody(ComputerName, PublicIP, LocalIP));

    if (sendWithBusyCursor(*mailManager, email) == 1)
        m_context.dialogs->notice(QStringLiteral("Success: (SMS) Text Message Sent"));
    else
        errorDialog().showError(mailManager->LastErrorText(), this);
    // No closing call: the engine ends its connection when the manager goes.
}
