#pragma once

#include <QByteArray>
#include <QList>

// The 18 alert settings that the service keeps and the window edits, in their
// wire order. Texts are kept as the bytes the window sent.
struct AlertSettings
{
    static constexpr int ValueCount = 18;

    // The values by their number in the wire order.
    enum Value
    {
        EmailAlerts = 1,
        TextAlerts,
        RunProgram,
        FtpPage,
        Recipients,
        SmtpServer,
        SmtpPort,
        UseSsl,
        NeedsLogin,
        SmtpUsername,
        SmtpPassword,
        PhoneNumber,
        Carrier,
        Program,
        FtpHost,
        FtpUsername,
        FtpPassword,
        HideTrayIcon
    };

    bool emailAlerts = false;
    bool textAlerts = false;
    bool runProgram = false;
    bool ftpPage = false;
    QByteArray recipients; // comma-separated addresses
    QByteArray smtpServer;
    QByteArray smtpPort = "25"; // a text: digits are not enforced
    bool useSsl = false;
    bool needsLogin = false;
    QByteArray smtpUsername;
    QByteArray smtpPassword;
    QByteArray phoneNumber;
    int carrier = -1; // position in the carrier list, -1 for none
    QByteArray program;
    QByteArray ftpHost;
    QByteArray ftpUsername;
    QByteArray ftpPassword;
    bool hideTrayIcon = false;

    // Values 1 to 18 in their wire encoding (booleans "-1"/"0", the carrier in decimal).
    QList<QByteArray> toValues() const;

    // Reads values 1 to 18 from their wire encoding (exactly 18 lines).
    // Throws ConvertError on a malformed boolean or integer.
    static AlertSettings fromValues(const QList<QByteArray>& values);

    // The list that follows the "SaveSettings" command: "18" and the 18 values,
    // so value n is line n.
    QList<QByteArray> toSaveList() const;

    // Reads the list that follows "SaveSettings"; throws ConvertError unless it
    // is 19 lines whose first is "18" and whose values are well formed.
    static AlertSettings fromSaveList(const QList<QByteArray>& list);

    bool operator==(const AlertSettings&) const = default;
};

// Where value n stands in toValues() and fromValues() (from 0).
constexpr qsizetype valueIndex(AlertSettings::Value value)
{
    return value - 1;
}
