// The Run Program and FTP pages, whose tabs are hidden.
#include "main_form/MainForm.h"

#include "common/ErrorText.h"
#include "common/WrapMessage.h"
#include "net/FtpClient.h"
#include "net/ReplaceInFile.h"
#include "toolkit/Dialogs.h"
#include "toolkit/ShellActions.h"
#include "ui_MainForm.h"

#include <QDir>
#include <QFileInfo>

namespace {

// Both the local template and the remote page; the File Name field plays no part.
const QString PageFileName = QStringLiteral("velmora.html");

} // namespace

void TFormMain::btnSelectProgramClick()
{
    const QString fileName = m_context.dialogs->chooseFile();
    if (fileName.isEmpty())
        return;
    const QFileInfo chosen(fileName);
    // The desktop's open-file dialog leaves the chosen file's folder current,
    // and the FTP page looks for its template there; Qt's dialog does not.
    QDir::setCurrent(chosen.absolutePath());
    m_ui->txtProgram->setText(chosen.absoluteFilePath());
}

void TFormMain::btnTestProgramClick()
{
    // The field holds a bare file path: no trimming, no arguments.
    const QString path = m_ui->txtProgram->text();
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        m_context.dialogs->notice(QStringLiteral("Error: Program path is not correct."));
        return;
    }
    m_context.shell->openFile(path);
}

void TFormMain::FTPStatus(const QString& statusText)
{
    m_context.dialogs->notice(statusText);
}

void TFormMain::btnUploadTestPageClick()
{
    FtpClient ftp;
    ftp.setHost(m_ui->txtFTPHost->text());
    ftp.setUsername(m_ui->txtFTPUsername->text());
    ftp.setPassword(m_ui->txtFTPPassword->text());
    ftp.setPort(m_context.ftpPort);
    ftp.setStatusHandler([this](const QString& statusText) { FTPStatus(statusText); });

    // A template that cannot be filled is an error for the general error box,
    // and the server is not contacted.
    const QString page = QDir::current().absoluteFilePath(PageFileName);
    ReplaceInFile(page, QStringLiteral("[[ComputerName]]"), ComputerName);
    ReplaceInFile(page, QStringLiteral("[[PublicIPAddress]]"), PublicIP);
    ReplaceInFile(page, QStringLiteral("[[LocalIPAddress]]"), LocalIP);
    ReplaceInFile(page, QStringLiteral("[[PublicIPv6Address]]"), PublicIPv6);
    ReplaceInFile(page, QStringLiteral("[[LocalIPv6Address]]"), LocalIPv6);

    try {
        ftp.connectAndUpload(page, PageFileName);
    } catch (const std::exception& error) {
        // The session has been ended by now; the statuses reached were shown.
        m_context.dialogs->notice(errorText(error));
        return;
    }
    m_context.dialogs->notice(WrapMessage(QStringLiteral(
        "Success: The page \"velmora.html\" has been uploaded to your FTP directory.")));
}
