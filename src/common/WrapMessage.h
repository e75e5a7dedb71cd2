#pragma once

#include <QString>

// Word wrap for notices: lines of at most maxColumns columns, broken after a blank,
// "-" or tab, with CR LF as the line break. Existing CR LF breaks are kept, nothing
// inside a single- or double-quoted run is cut, and a word longer than a line is
// never split.
QString WrapMessage(const QString& text, int maxColumns = 45);
