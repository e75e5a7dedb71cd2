#pragma once

#include "print/PrintSurface.h"
#include "print/ReportList.h"

#include <QList>

// Where the columns of a printed list go: each shown column is its longest text plus one
// spacing unit wide, the table is centred between the page margins, and the printer turns
// to landscape when the table does not fit across a portrait page.
class TableLayout
{
public:
    static constexpr int margin = 200;

    // Measures the texts and places the columns from the left margin.
    TableLayout(const PrintSurface& surface, const ReportList& list);

    // Switches to landscape if needed, then centres the table on the page.
    void fitToPage(PrintSurface& surface);

    int spacing() const { return m_spacing; }
    int lineHeight() const { return m_lineHeight; }
    int gap() const { return m_gap; }

    int columnCount() const { return int(m_shown.size()); }
    bool isShown(int column) const { return m_shown[column]; }
    // True when a shown column lies to the right of this one, so a line may separate them.
    bool hasShownColumnAfter(int column) const;
    // Column i runs from edge(i) to edge(i + 1).
    int edge(int index) const { return m_edges[index]; }
    int left() const { return m_edges.first(); }
    int right() const { return m_edges.last(); }

    // Left edge of a text of the given width in a column, following the column's alignment.
    int textLeft(int column, int textWidth) const;

private:
    QList<bool> m_shown;
    QList<int> m_edges;
    QList<ReportList::Alignment> m_alignments;
    int m_spacing = 0;
    int m_lineHeight = 0;
    int m_gap = 0;
};
