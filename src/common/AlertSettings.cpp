#include "common/AlertSettings.h"

#include "common/TextConvert.h"

#include <QString>

namespace {

QByteArray boolValue(bool value)
{
    return value ? QByteArrayLiteral("-1") : QByteArrayLiteral("0");
}

bool readBool(const QByteArray& value)
{
    return parseBoolean(QString::fromLocal8Bit(value));
}

} // namespace

QList<QByteArray> AlertSettings::toValues() const
{
    return {boolValue(emailAlerts),  boolValue(textAlerts),   boolValue(runProgram),
            boolValue(ftpPage),      recipients,              smtpServer,
            smtpPort,                boolValue(useSsl),       boolValue(needsLogin),
            smtpUsername,            smtpPassword,            phoneNumber,
            QByteArray::number(carrier), program,             ftpHost,
            ftpUsername,             ftpPassword,             boolValue(hideTrayIcon)};
}

AlertSettings AlertSettings::fromValues(const QList<QByteArray>& values)
{
    if (values.size() != ValueCount)
        throw ConvertError("the settings hold " + std::to_string(values.size()) +
                           " values instead of 18");
    AlertSettings s;
    s.emailAlerts = readBool(values[0]);
    s.textAlerts = readBool(values[1]);
    s.runProgram = readBool(values[2]);
    s.ftpPage = readBool(values[3]);
    s.recipients = values[4];
    s.smtpServer = values[5];
    s.smtpPort = values[6];
    s.useSsl = readBool(values[7]);
    s.needsLogin = readBool(values[8]);
    s.smtpUsername = values[9];
    s.smtpPassword = values[10];
    s.phoneNumber = values[11];
    s.carrier = values[12].isEmpty() ? -1 : parseInteger(QString::fromLocal8Bit(values[12]));
    s.program = values[13];
    s.ftpHost = values[14];
    s.ftpUsername = values[15];
    s.ftpPassword = values[16];
    s.hideTrayIcon = readBool(values[17]);
    return s;
}

QList<QByteArray> AlertSettings::toSaveList() const
{
    QList<QByteArray> list{QByteArray::number(ValueCount)};
    list += toValues();
    return list;
}

AlertSettings AlertSettings::fromSaveList(const QList<QByteArray>& list)
{
    if (list.size() != ValueCount + 1 || list.first() != QByteArray::number(ValueCount))
        throw ConvertError("a settings list must be \"18\" and 18 values");
    return fromValues(list.mid(1));
}
