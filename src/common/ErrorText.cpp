#include "common/ErrorText.h"

QString errorText(const std::exception& error)
{
    return QString::fromUtf8(error.what());
}
