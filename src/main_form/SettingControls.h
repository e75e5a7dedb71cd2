#pragma once

#include "common/SettingTable.h"

#include <QByteArray>
#include <functional>

class QObject;
class QWidget;

// A setting's control on the form, whatever its type (on/off switch, check box,
// text field, text box of several lines, drop-down list, number field), as the window's load and
// save use it: values in and out in the link's spelling (SettingSpelling.h). The control's type
// decides how a value is shown.
namespace settingcontrols {

// The control of the setting: the child of `form` named in the table.
QWidget* controlOf(QWidget* form, Setting setting);

// Shows a value as the link spells it. An empty carrier leaves the selection
// as it is; a carrier position outside the list selects nothing. Throws
// ConvertError for a switch, number or carrier that does not read.
void show(QWidget* control, const QByteArray& value);

// The control's value as the link spells it (a text field's text also when it
// is disabled or hidden; the selected position of a list, -1 for none).
QByteArray value(const QWidget* control);

// Calls `changed` when the control changes as the window's change tracking
// counts it: a text field's or number field's every change, a switch's, check
// box's or list's only when the user makes it.
void onUserChange(QWidget* control, QObject* context, const std::function<void()>& changed);

} // namespace settingcontrols
