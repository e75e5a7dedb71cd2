#pragma once

#include <QString>
#include <exception>

// What the window tells the user when an exchange with the service fails.
namespace servicenotices {

// The start-up notice when the settings cannot be read.
QString couldNotConnect();
// "The settings could not be saved: " and the cause, for a failed save.
QString settingsNotSaved(const std::exception& failure);

} // namespace servicenotices
