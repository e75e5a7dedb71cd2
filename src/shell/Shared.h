#pragma once

#include <QString>

// The product title, "Velmora": the main window's caption, quoted in its texts
// and in the About dialog. Set once at start-up.
extern QString ProductTitle;
inline constexpr char ProductName[] = "Velmora";

// The application title that captions every notice, question and error box: the
// executable's file name up to its first dot, the first character as it stands
// and every following character in lower case.
QString applicationTitleFor(const QString& executablePath);
