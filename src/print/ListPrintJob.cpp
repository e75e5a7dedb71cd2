#include "print/ListPrintJob.h"

#include <QColor>

#include <algorithm>

namespace {
const QColor white(255, 255, 255);
const QColor black(0, 0, 0);
const QColor silver(192, 192, 192);
} // namespace

ListPrintJob::ListPrintJob(PrintSurface& surface, const QString& title, const ReportList& list,
                           const TableLayout& layout, bool horizontalLines, bool verticalLines)
    : m_surface(surface), m_title(title), m_list(list), m_layout(layout),
      m_horizontalLines(horizontalLines), m_verticalLines(verticalLines)
{
}

void ListPrintJob::run()
{
    m_surface.beginJob();
    try {
        m_page = 0;
        printPageHead();
        printRows();
        closePage();
        m_surface.endJob();
    } catch (...) {
        m_surface.abortJob();
        throw;
    }
}

void ListPrintJob::printRows()
{
    const int h = m_layout.lineHeight();
    const int columns = m_layout.columnCount();
    const qsizetype rowCount = m_list.rows.size();
    for (qsizetype r = 0; r < rowCount; ++r) {
        const ReportList::Row& row = m_list.rows[r];
        const bool isLastRow = r == rowCount - 1;

        if (columns > 0)
            printCell(0, row.caption);
        const int subItems = std::min(int(row.subItems.size()), columns - 1);
        for (int j = 0; j < subItems; ++j)
            printCell(j + 1, row.subItems[j]);
        m_y += h;

        if (m_horizontalLines && !isLastRow) {
            m_surface.drawLine(m_layout.left(), m_y, m_layout.right(), m_y);
            m_y += m_layout.gap();
        }

        // A row may reach into the bottom margin; the page ends after the first one that does.
        if (!isLastRow && m_y > m_surface.pageHeight() - TableLayout::margin) {
            closePage();
            printPageHead();
        }
    }
}

void ListPrintJob::printPageHead()
{
    const int h = m_layout.lineHeight();
    const int g = m_layout.gap();
    const int left = m_layout.left();
    const int right = m_layout.right();

    ++m_page;
    m_y = TableLayout::margin;
    if (m_page > 1)
        m_surface.newPage();
    m_surface.setFillColour(white);
    m_surface.setLineColour(black);

    if (!m_title.isEmpty()) {
        const QString text = m_page == 1 ? m_title : m_title + QStringLiteral(" (%1)").arg(m_page);
        // Centred over the table rather than over the page.
        m_surface.drawText(left + (right - left - m_surface.textWidth(text)) / 2, m_y, text);
        m_y += h + g;
    }

    m_top = m_y;
    m_surface.setFillColour(silver);
    m_surface.drawRectangle(left, m_top, right, m_top + h + 2 * g);
    m_surface.setLineColour(silver);

    m_y = m_top + g;
    for (int i = 0; i < m_layout.columnCount(); ++i)
        printCell(i, m_list.columns[i].caption);
    m_y += h + 2 * g;
    m_surface.setFillColour(white);
}

void ListPrintJob::closePage()
{
    m_y += m_layout.gap();
    m_surface.setFillColour(black);
    m_surface.frameRectangle(m_layout.left(), m_top, m_layout.right(), m_y);

    if (!m_verticalLines)
        return;
    // Only between shown columns: a line at the table's outer edge would paint over the frame.
    for (int i = 0; i + 1 < m_layout.columnCount(); ++i) {
        if (m_layout.isShown(i) && m_layout.hasShownColumnAfter(i))
            m_surface.drawLine(m_layout.edge(i + 1), m_top, m_layout.edge(i + 1), m_y);
    }
}

void ListPrintJob::printCell(int column, const QString& text)
{
    if (!m_layout.isShown(column))
        return;
    m_surface.drawText(m_layout.textLeft(column, m_surface.textWidth(text)), m_y, text);
}
