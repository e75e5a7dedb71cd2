#pragma once

#include <QAbstractButton>

// A sliding on/off switch with the captions "On" and "Off": a checkable button, so
// assistive technologies see its state. stateChanged is raised only for changes the
// user makes (mouse, Space, Return or Enter, Right to switch on, Left to switch off, an
// assistive technology's toggle), never by setOn(). Its accessible name comes from the
// label whose buddy it is.
class OnOffSwitch : public QAbstractButton
{
    Q_OBJECT

public:
    explicit OnOffSwitch(QWidget* parent = nullptr);

    bool isOn() const { return isChecked(); }
    void setOn(bool on);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void stateChanged(bool on);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QFont captionFont() const;

    bool m_settingFromProgram = false;
};
