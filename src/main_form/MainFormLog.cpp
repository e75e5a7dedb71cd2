// The History Log page: reading, clearing and printing the service's log.
#include "common/SplitFields.h"
#include "main_form/LogFile.h"
#include "main_form/MainForm.h"
#include "main_form/TreeWidgetReport.h"
#include "print/PrintTListView.h"
#include "print/PrinterSurface.h"
#include "toolkit/Dialogs.h"
#include "ui_MainForm.h"

#include <QPrinter>

void TFormMain::ReadLogFile()
{
    // A missing or unreadable file keeps the rows shown; nothing is reported.
    const std::optional<QStringList> lines = ReadLog(m_context.logFilePath);
    if (!lines)
        return;
    m_ui->lvLog->clear();
    QStringList fields;
    for (const QString& line : *lines) {
        SplitFields(QLatin1Char(','), line, fields);
        auto* row = new QTreeWidgetItem(m_ui->lvLog);
        // A short line (one the service may still be writing) ends the list with the
        // cells it has.
        for (int column = 0; column < 3; ++column) {
            if (column >= fields.size())
                return;
            row->setText(column, fields[column]);
        }
    }
}

void TFormMain::tabLogShow()
{
    ReadLogFile();
}

void TFormMain::btnClearLogClick()
{
    m_ui->lvLog->clear();
    EraseLogFile(m_context.logFilePath);
}

void TFormMain::btnPrintLogClick()
{
    QPrinter printer(QPrinter::HighResolution);
    if (!m_context.dialogs->choosePrinter(printer))
        return;
    PrinterSurface surface(printer);
    // The rows as shown; the file is not read again.
    PrintListView(surface, QStringLiteral("Velmora - IP Address Change Log"),
                  reportListOf(*m_ui->lvLog), false, false);
}
