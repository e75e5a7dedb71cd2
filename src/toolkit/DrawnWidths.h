#pragma once

class QLineEdit;
class QString;
class QWidget;

// Styles make a captioned push button at least 80 pixels wide (Fusion and Breeze do);
// the forms draw some narrower. Each push button in the window keeps its drawn width,
// its minimum width, unless its caption needs more at the window's font.
void keepDrawnButtonWidths(QWidget* window);

// A narrow field keeps its drawn width unless the font needs more to show the sample whole.
void keepDrawnFieldWidth(QLineEdit* field, int drawnWidth, const QString& sample);
