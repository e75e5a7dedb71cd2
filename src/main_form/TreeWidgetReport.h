#pragma once

#include "print/ReportList.h"

class QTreeWidget;

// The columns and top-level rows of a list view as the printout takes them: a hidden
// column has width 0; a column's alignment is its header's.
ReportList reportListOf(const QTreeWidget& view);
