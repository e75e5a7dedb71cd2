#include "main_form/ListViewReport.h"

#include <QHeaderView>

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

ReportList reportListOf(const QHeaderView& columns)
{
    ReportList list;
    const QAbstractItemModel* model = columns.model();
    if (!model)
        return list;
    const int columnCount = model->columnCount();
    for (int column = 0; column < columnCount; ++column) {
        const int width = columns.isSectionHidden(column) ? 0 : columns.sectionSize(column);
        list.columns.append(
            {model->headerData(column, Qt::Horizontal).toString(), width,
             alignmentOf(
                 model->headerData(column, Qt::Horizontal, Qt::TextAlignmentRole).toInt())});
    }
    const int rowCount = model->rowCount();
    list.rows.reserve(rowCount);
    for (int index = 0; index < rowCount; ++index) {
        ReportList::Row row;
        row.caption = model->index(index, 0).data().toString();
        // Only the cells the row has: a short row prints short.
        int cells = columnCount;
        while (cells > 1 && !model->index(index, cells - 1).data().isValid())
            --cells;
        for (int column = 1; column < cells; ++column)
            row.subItems.append(model->index(index, column).data().toString());
        list.rows.append(row);
    }
    return list;
}
