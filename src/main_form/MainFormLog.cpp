// The History Log page: reading, clearing and printing the service's log.
#include "main_form/HistoryLogModel.h"
#include "main_form/ListViewReport.h"
#include "main_form/LogFile.h"
#include "main_form/MainForm.h"
#include "print/PrintTListView.h"
#include "print/PrinterSurface.h"
#include "toolkit/Dialogs.h"
#include "ui_MainForm.h"

#include <QHeaderView>
#include <QPrinter>

void TFormMain::ReadLogFile()
{
    // A missing or unreadable file keeps the rows shown; an unchanged one is not read.
    showLogNotice(m_logModel->refresh(m_context.logFilePath));
}

void TFormMain::tabLogShow()
{
    ReadLogFile();
}

void TFormMain::btnClearLogClick()
{
    m_logModel->clear();
    showLogNotice(EraseLogFile(m_context.logFilePath));
}

void TFormMain::btnPrintLogClick()
{
    QPrinter printer(QPrinter::HighResolution);
    if (!m_context.dialogs->choosePrinter(printer))
        return;
    PrinterSurface surface(printer);
    // The rows as shown; the file is not read again.
    PrintListView(surface, QStringLiteral("Velmora - IP Address Change Log"),
                  reportListOf(*m_ui->lvLog->horizontalHeader()), false, false);
}

void TFormMain::showLogNotice(LogFileProblem problem)
{
    QString notice = logProblemText(problem, m_context.logFilePath);
    if (notice.isEmpty() && m_logModel->limitReached())
        notice = QStringLiteral("The history log is too large to show whole: its first %L1 "
                                "entries are shown.")
                     .arg(m_logModel->rowCount());
    m_ui->lblLogNotice->setText(notice);
    m_ui->lblLogNotice->setVisible(!notice.isEmpty());
}
