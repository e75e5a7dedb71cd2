#pragma once

#include <QString>
#include <QStringList>

// One reply on the control connection: the three-digit code and the text of
// each line without the code in front.
struct FtpReply
{
    int code = 0;
    QStringList lines;

    QString text() const { return lines.join(QLatin1Char('\n')); }
    bool isPreliminary() const { return code >= 100 && code < 200; }
    bool isPositive() const { return code >= 200 && code < 300; }
};
