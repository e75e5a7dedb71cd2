#pragma once

#include <QObject>
#include <QPointer>

class QFocusFrame;
class QWidget;

// Styles show the focus on fields, check boxes and most buttons, but a read-only text
// box, an empty list and a default button look the same with the focus as without it
// (Fusion draws a default button as it draws a focused one). A focus frame follows the
// focus onto those controls of the window.
class FocusFrameFollower : public QObject
{
    Q_OBJECT

public:
    explicit FocusFrameFollower(QWidget* window);

private:
    void focusChanged(QWidget* now);
    static bool showsNoFocus(const QWidget* control);

    QWidget* m_window;
    QPointer<QFocusFrame> m_frame;
};
