#pragma once

#include "print/PrintSurface.h"
#include "print/PrinterSurface.h"
#include "print/ReportList.h"

#include <QString>

// Prints a report-style list as a framed table: the title centred above it on every page
// (" (2)", " (3)"... from page 2 on; none when empty), a grey header row with the column
// captions, then one line per row over as many pages as needed. Columns are as wide as their
// longest text; hidden columns (width 0 or less) are left out. A table too wide for the page
// is printed in landscape; the printer's orientation is restored afterwards, also on failure.
// Uses the surface's current font. Throws std::runtime_error for more than 32 columns (before
// anything is printed) and passes on the surface's errors.
void PrintListView(PrintSurface& printer, const QString& title, const ReportList& list,
                   bool HorizontalLines, bool VerticalLines);
