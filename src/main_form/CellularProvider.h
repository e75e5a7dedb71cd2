#pragma once

#include <QString>

// One mobile carrier the window offers, and its e-mail-to-SMS gateway domain.
struct TCellularProvider
{
    QString Name;
    QString Gateway;
};
