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
    // In the order of Value.
    return {boolValue(emailAlerts),
            boolValue(textAlerts),
            boolValue(runProgram),
            boolValue(ftpPage),
            recipients,
            smtpServer,
            smtpPort,
            boolValue(useSsl),
            boolValue(needsLogin),
            smtpUsername,
            smtpPassword,
            phoneNumber,
            QByteArray::number(carrier),
            program,
            ftpHost,
            ftpUsername,
            ftpPassword,
            boolValue(hideTrayIcon)};
}

AlertSettings AlertSettings::fromValues(const QList<QByteArray>& values)
{
    if (values.size() != ValueCount)
        throw ConvertError("the settings hold " + std::to_string(values.size()) +
                           " values instead of 18");
    const auto at = [&values](Value value) { return values[valueIndex(value)]; };
    AlertSettings s;
    s.emailAlerts = readBool(at(EmailAlerts));
    s.textAlerts = readBool(at(TextAlerts));
    s.runProgram = readBool(at(RunProgram));
    s.ftpPage = readBool(at(FtpPage));
    s.recipients = at(Recipients);
    s.smtpServer = at(SmtpServer);
    s.smtpPort = at(SmtpPort);
    s.useSsl = readBool(at(UseSsl));
    s.needsLogin = readBool(at(NeedsLogin));
    s.smtpUsername = at(SmtpUsername);
    s.smtpPassword = at(SmtpPassword);
    s.phoneNumber = at(PhoneNumber);
    s.carrier = at(Carrier).isEmpty() ? -1 : parseInteger(QString::fromLocal8Bit(at(Carrier)));
    s.program = at(Program);
    s.ftpHost = at(FtpHost);
    s.ftpUsername = at(FtpUsername);
    s.ftpPassword = at(FtpPassword);
    s.hideTrayIcon = readBool(at(HideTrayIcon));
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
