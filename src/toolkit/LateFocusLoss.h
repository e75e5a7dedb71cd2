#pragma once

class QMenu;

// Qt closes every open menu when it hears that the program lost the focus. On
// X11 it hears so only after a grace of 400 ms (the focus may come back to
// another of its windows), and later still when the program is busy. A menu
// opened in that time, such as the icon's menu right after the window went to
// the tray, would be closed at once by news older than itself: the user's click
// would seem lost. Such a menu is opened again where it was. A menu opened while
// the program had the focus for real closes as usual when the focus goes.
void keepOpenThroughLateFocusLoss(QMenu* menu);
