#pragma once

#include "print/ReportList.h"

class QHeaderView;

// The columns and rows of a list view as the printout takes them, from the view's
// column header and the model behind it: a hidden column has width 0; a column's
// alignment is its header's; a row has the cells up to its last one that holds data.
ReportList reportListOf(const QHeaderView& columns);
