#include "main_form/SettingControls.h"

#include "common/SettingSpelling.h"
#include "common/TextConvert.h"
#include "toolkit/OnOffSwitch.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <stdexcept>

namespace settingcontrols {

namespace {

// The settings' bytes as the controls show them, and back, losing no byte
// (the locale's 8-bit encoding is UTF-8).
QString text(const QByteArray& bytes)
{
    return textKeepingBytes(bytes);
}

QByteArray bytes(const QString& text)
{
    return bytesKeptInText(text);
}

[[noreturn]] void unknownControl(const QWidget* control)
{
    throw std::logic_error("a setting's control is of a type the window cannot bind: " +
                           control->objectName().toStdString());
}

} // namespace

QWidget* controlOf(QWidget* form, Setting setting)
{
    const char* name = settingtable::info(setting).control;
    QWidget* control = form->findChild<QWidget*>(QString::fromLatin1(name));
    if (!control)
        throw std::logic_error(std::string("the form has no control ") + name);
    return control;
}

void show(QWidget* control, const QByteArray& value)
{
    if (auto* onOff = qobject_cast<OnOffSwitch*>(control)) {
        onOff->setOn(spelling::switchFromLink(value));
    } else if (auto* box = qobject_cast<QCheckBox*>(control)) {
        box->setChecked(spelling::switchFromLink(value));
    } else if (auto* field = qobject_cast<QLineEdit*>(control)) {
        field->setText(text(value));
    } else if (auto* lines = qobject_cast<QPlainTextEdit*>(control)) {
        lines->setPlainText(text(value));
    } else if (auto* number = qobject_cast<QSpinBox*>(control)) {
        number->setValue(spelling::numberFromLink(value));
    } else if (auto* list = qobject_cast<QComboBox*>(control)) {
        if (value.isEmpty())
            return;
        const int index = spelling::numberFromLink(value);
        list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
    } else {
        unknownControl(control);
    }
}

QByteArray value(const QWidget* control)
{
    if (auto* onOff = qobject_cast<const OnOffSwitch*>(control))
        return spelling::switchOnLink(onOff->isOn());
    if (auto* box = qobject_cast<const QCheckBox*>(control))
        return spelling::switchOnLink(box->isChecked());
    if (auto* field = qobject_cast<const QLineEdit*>(control))
        return bytes(field->text());
    if (auto* lines = qobject_cast<const QPlainTextEdit*>(control))
        return bytes(lines->toPlainText());
    if (auto* number = qobject_cast<const QSpinBox*>(control))
        return spelling::numberOnLink(number->value());
    if (auto* list = qobject_cast<const QComboBox*>(control))
        return spelling::numberOnLink(list->currentIndex());
    unknownControl(control);
}

void onUserChange(QWidget* control, QObject* context, const std::function<void()>& changed)
{
    if (auto* onOff = qobject_cast<OnOffSwitch*>(control))
        QObject::connect(onOff, &OnOffSwitch::stateChanged, context, changed);
    else if (auto* box = qobject_cast<QCheckBox*>(control))
        QObject::connect(box, &QCheckBox::clicked, context, changed);
    else if (auto* field = qobject_cast<QLineEdit*>(control))
        QObject::connect(field, &QLineEdit::textChanged, context, changed);
    else if (auto* lines = qobject_cast<QPlainTextEdit*>(control))
        QObject::connect(lines, &QPlainTextEdit::textChanged, context, changed);
    else if (auto* number = qobject_cast<QSpinBox*>(control))
        QObject::connect(number, &QSpinBox::valueChanged, context, changed);
    else if (auto* list = qobject_cast<QComboBox*>(control))
        QObject::connect(list, &QComboBox::activated, context, changed);
    else
        unknownControl(control);
}

} // namespace settingcontrols
