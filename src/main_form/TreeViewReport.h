#pragma once

#include "print/ReportList.h"

class QTreeView;

// The columns and top-level rows of a list view as the printout takes them: a hidden
// column has width 0; a column's alignment is its header's; a row has the cells up to
// its last one that holds data.
ReportList reportListOf(const QTreeView& view);
