#include "main_form/TreeWidgetReport.h"

#include <QTreeWidget>

namespace {

ReportList::Alignment alignmentOf(int flags)
{
    if (flags & Qt::AlignRight)
        return ReportList::Alignment::Right;
    if (flags & Qt::AlignHCenter)
        return ReportList::Alignment::Center;
    return ReportList::Alignment::Left;
}

} // namespace

ReportList reportListOf(const QTreeWidget& view)
{
    ReportList list;
    const QTreeWidgetItem* header = view.headerItem();
    for (int column = 0; column < view.columnCount(); ++column) {
        const int width = view.isColumnHidden(column) ? 0 : view.columnWidth(column);
        list.columns.append(
            {header->text(column), width, alignmentOf(header->textAlignment(column))});
    }
    for (int index = 0; index < view.topLevelItemCount(); ++index) {
        const QTreeWidgetItem* item = view.topLevelItem(index);
        ReportList::Row row{item->text(0), {}};
        // Only the cells the row has: a short row prints short.
        for (int column = 1; column < item->columnCount(); ++column)
            row.subItems.append(item->text(column));
        list.rows.append(row);
    }
    return list;
}
