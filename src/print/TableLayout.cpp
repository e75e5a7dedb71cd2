#include "print/TableLayout.h"

#include <algorithm>

TableLayout::TableLayout(const PrintSurface& surface, const ReportList& list)
{
    m_spacing = surface.textWidth(QStringLiteral("N"));
    m_lineHeight = surface.textHeight(QStringLiteral("N"));
    m_gap = m_lineHeight / 5;

    const int count = int(list.columns.size());
    QList<int> widths(count, 0);
    m_shown.resize(count);
    m_alignments.resize(count);
    for (int i = 0; i < count; ++i) {
        const ReportList::Column& column = list.columns[i];
        m_shown[i] = column.width > 0;
        m_alignments[i] = column.alignment;
        if (m_shown[i])
            widths[i] = surface.textWidth(column.caption);
    }

    const auto widen = [&](int column, const QString& text) {
        if (m_shown[column])
            widths[column] = std::max(widths[column], surface.textWidth(text));
    };
    for (const ReportList::Row& row : list.rows) {
        if (count > 0)
            widen(0, row.caption);
        // Sub-items beyond the last column have nowhere to go and are left out.
        const int subItems = std::min(int(row.subItems.size()), count - 1);
        for (int j = 0; j < subItems; ++j)
            widen(j + 1, row.subItems[j]);
    }

    m_edges.resize(count + 1);
    int x = margin;
    for (int i = 0; i < count; ++i) {
        m_edges[i] = x;
        if (m_shown[i])
            x += widths[i] + m_spacing;
    }
    m_edges[count] = x;
}

void TableLayout::fitToPage(PrintSurface& surface)
{
    const int tableRight = right();
    if (surface.pageWidth() - margin < tableRight &&
        surface.orientation() != QPageLayout::Landscape)
        surface.setOrientation(QPageLayout::Landscape);

    const int freeWidth = surface.pageWidth() - margin - tableRight;
    if (freeWidth > 0) {
        const int shift = freeWidth / 2;
        for (int& edge : m_edges)
            edge += shift;
    }
}

bool TableLayout::hasShownColumnAfter(int column) const
{
    return std::any_of(m_shown.cbegin() + column + 1, m_shown.cend(), [](bool s) { return s; });
}

int TableLayout::textLeft(int column, int textWidth) const
{
    const int columnLeft = m_edges[column];
    const int columnRight = m_edges[column + 1];
    switch (m_alignments[column]) {
    case ReportList::Alignment::Right:
        return columnRight - m_spacing - textWidth;
    case ReportList::Alignment::Center:
        return columnLeft + (columnRight - columnLeft - textWidth) / 2;
    case ReportList::Alignment::Left:
        break;
    }
    return columnLeft + m_spacing;
}
