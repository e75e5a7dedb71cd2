#pragma once

#include <QString>
#include <chrono>

// A time limit as the user reads it in an error message: "60", "0.5".
inline QString secondsText(std::chrono::milliseconds limit)
{
    return QString::number(double(limit.count()) / 1000.0, 'g', 6);
}
