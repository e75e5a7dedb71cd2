#pragma once

#include "print/PrintSurface.h"
#include "print/ReportList.h"
#include "print/TableLayout.h"

#include <QString>

// One print job of a laid-out list: every page gets the title, a grey header row and a
// frame, and rows run on until a page is full.
class ListPrintJob
{
public:
    ListPrintJob(PrintSurface& surface, const QString& title, const ReportList& list,
                 const TableLayout& layout, bool horizontalLines, bool verticalLines);

    // Prints all pages as one job. A job that fails midway is aborted, and the error goes on.
    void run();

private:
    void printRows();
    void printPageHead();
    void closePage();
    void printCell(int column, const QString& text);

    PrintSurface& m_surface;
    const QString& m_title;
    const ReportList& m_list;
    const TableLayout& m_layout;
    const bool m_horizontalLines;
    const bool m_verticalLines;

    int m_page = 0;
    int m_y = 0;
    int m_top = 0; // top of the header row on the current page
};
