#pragma once

#include <QByteArray>
#include <QList>

// The 18 alert settings that the service keeps and the window edits, in their
// wire order. Texts are kept as the bytes the window sent.
struct AlertSettings
{
    static constexpr int ValueCount = 18;

    bool emailAlerts = false;    // 1
    bool textAlerts = false;     // 2
    bool runProgram = false;     // 3
    bool ftpPage = false;        // 4
    QByteArray recipients;       // 5, comma-separated addresses
    QByteArray smtpServer;       // 6
    QByteArray smtpPort = "25";  // 7, a text: digits are not enforced
    bool useSsl = false;         // 8
    bool needsLogin = false;     // 9
    QByteArray smtpUsername;     // 10
    QByteArray smtpPassword;     // 11
    QByteArray phoneNumber;      // 12
    int carrier = -1;            // 13, position in the carrier list, -1 for none
    QByteArray program;          // 14
    QByteArray ftpHost;          // 15
    QByteArray ftpUsername;      // 16
    QByteArray ftpPassword;      // 17
    bool hideTrayIcon = false;   // 18

    // Values 1 to 18 in their wire encoding (booleans "-1"/"0", the carrier in decimal).
    QList<QByteArray> toValues() const;

    // Reads values 1 to 18 from their wire encoding (exactly 18 lines).
    // Throws ConvertError on a malformed boolean or integer.
    static AlertSettings fromValues(const QList<QByteArray>& values);

    // The list that follows the "SaveSettings" command: "18" and the 18 values.
    QList<QByteArray> toSaveList() const;

    // Reads the list that follows "SaveSettings"; throws ConvertError unless it
    // is 19 lines whose first is "18" and whose values are well formed.
    static AlertSettings fromSaveList(const QList<QByteArray>& list);

    bool operator==(const AlertSettings&) const = default;
};
