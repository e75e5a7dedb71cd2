#include "main_form/TreeViewReport.h"

#include <QHeaderView>
#include <QTreeView>

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

ReportList reportListOf(const QTreeView& view)
{
    ReportList list;
    const QAbstractItemModel* model = view.model();
    if (!model)
        return list;
    const int columns = model->columnCount();
    for (int column = 0; column < columns; ++column) {
        const int width = view.isColumnHidden(column) ? 0 : view.columnWidth(column);
        list.columns.append(
            {model->headerData(column, Qt::Horizontal).toString(), width,
             alignmentOf(
                 model->headerData(column, Qt::Horizontal, Qt::TextAlignmentRole).toInt())});
    }
    const int rows = model->rowCount();
    list.rows.reserve(rows);
    for (int index = 0; index < rows; ++index) {
        ReportList::Row row;
        row.caption = model->index(index, 0).data().toString();
        // Only the cells the row has: a short row prints short.
        int cells = columns;
        while (cells > 1 && !model->index(index, cells - 1).data().isValid())
            --cells;
        for (int column = 1; column < cells; ++column)
            row.subItems.append(model->index(index, column).data().toString());
        list.rows.append(row);
    }
    return list;
}
