#pragma once

#include <QFont>

// The forms were drawn in Tahoma 8 pt on a desktop whose own text was 9 pt. They keep
// that proportion to the desktop's font, so a user who enlarges the desktop's text
// enlarges the windows' text too; they never go below the drawn 8 pt. Tahoma is used
// where it is installed, the desktop's own family elsewhere.
QFont formFont(const QFont& desktopFont);

// A page heading: bold, 19 pixels beside the form's 11-pixel text, in proportion.
QFont headingFont(const QFont& formFont);
