#pragma once

#include "MainFormFixture.h"
#include "toolkit/SidePager.h"
#include "ui_MainForm.h"

#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QList>
#include <QStringList>

using Rows = QList<QStringList>;

// The cells each row of the list has, in order; a short row has fewer cells.
inline Rows rowsOf(const QAbstractItemView& view)
{
    const QAbstractItemModel& model = *view.model();
    Rows rows;
    for (int row = 0; row < model.rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < model.columnCount(); ++column) {
            const QVariant cell = model.index(row, column).data();
            if (!cell.isValid())
                break;
            cells.append(cell.toString());
        }
        rows.append(cells);
    }
    return rows;
}

// A window on screen with the Status page current, as after start-up.
class LogWindow : public MainFormFixture
{
public:
    LogWindow()
    {
        create();
        form().show();
    }
    QString logPath() const { return folder.filePath(QStringLiteral("velmora.log")); }
    void showLogPage() { form().pager().setCurrentIndex(TFormMain::LogPage); }
    void showOtherPage() { form().pager().setCurrentIndex(TFormMain::EmailPage); }
    Rows rows() { return rowsOf(*ui().lvLog); }
    // What the page says under the list; empty when it says nothing.
    QString notice()
    {
        return ui().lblLogNotice->isVisibleTo(&form()) ? ui().lblLogNotice->text() : QString();
    }
};
