#pragma once

#include <QString>

// One mobile carrier and its e-mail-to-SMS gateway domain.
struct TCellularProvider
{
    QString Name;
    QString Gateway;
};

// Reads a carrier line "name|gateway" (further fields ignored, quoted fields
// allowed); throws ServiceLinkError when it has fewer than two fields.
TCellularProvider parseCellularProvider(const QString& line);
