#pragma once

#include <QWidget>

// A sliding on/off switch with the captions "On" and "Off". stateChanged is
// raised only for changes the user makes (mouse or keyboard), never by setOn().
class OnOffSwitch : public QWidget
{
    Q_OBJECT

public:
    explicit OnOffSwitch(QWidget* parent = nullptr);

    bool isOn() const { return m_on; }
    void setOn(bool on);

    QSize sizeHint() const override;

signals:
    void stateChanged(bool on);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void toggleByUser();

    bool m_on = false;
};
