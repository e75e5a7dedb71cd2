#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <optional>
#include <span>

// Every setting the service keeps, described once. The settings file, the
// service's store, the link and the window's controls all walk this table;
// nothing else lists the settings.
//
// Columns:
//   code name    the setting's name in the code (Setting::EmailAlerts)
//   file key     its key in the settings file
//   former key   its name in the file's earlier form; nullptr when it had none
//   kind         Switch, Text, Port, Number or Carrier (see SettingKind)
//   default      the value a new file holds, spelt as the file spells it
//   link         Wire(n): value n of the 18 that every window and service
//                exchange; Keyed: the link's extension, under the file key
//   control      the object name of the window's control that shows it;
//                nullptr for a setting that only the settings file holds
//
// The 18 wire values keep their order and spelling for windows and services of
// earlier versions. A new setting is a new row with a Keyed place (and, for the
// window, a control of that name on its form).
// The push alert's message as a new file holds it: the placeholders of the FTP
// page, and those of the addresses before the change and of its time.
#define VELMORA_PUSH_MESSAGE                                                                       \
    "[[ComputerName]]: public [[OldPublicIPAddress]] -> [[PublicIPAddress]], local "               \
    "[[OldLocalIPAddress]] -> [[LocalIPAddress]] ([[Time]])"

// clang-format off
#define VELMORA_SETTINGS(ROW)                                                                            \
    ROW(EmailAlerts,          "email-alerts",          "emailAlerts",  Switch,  "false", Wire(1),  "SwitchEmailAlerts")       \
    ROW(TextAlerts,           "text-alerts",           "textAlerts",   Switch,  "false", Wire(2),  "SwitchTextAlerts")        \
    ROW(RunProgram,           "run-program",           "runProgram",   Switch,  "false", Wire(3),  "SwitchRunProgram")        \
    ROW(FtpPage,              "ftp-page",              "ftpPage",      Switch,  "false", Wire(4),  "SwitchFTP")               \
    ROW(Recipients,           "recipients",            "recipients",   Text,    "",      Wire(5),  "txtEmail")                \
    ROW(SmtpServer,           "smtp-server",           "smtpServer",   Text,    "",      Wire(6),  "txtSMTP")                 \
    ROW(SmtpPort,             "smtp-port",             "smtpPort",     Port,    "25",    Wire(7),  "txtSMTPPort")             \
    ROW(UseSsl,               "use-ssl",               "useSsl",       Switch,  "false", Wire(8),  "chkUseSSL")               \
    ROW(NeedsLogin,           "needs-login",           "needsLogin",   Switch,  "false", Wire(9),  "chkAuth")                 \
    ROW(SmtpUsername,         "smtp-username",         "smtpUsername", Text,    "",      Wire(10), "txtSMTPUsername")         \
    ROW(SmtpPassword,         "smtp-password",         "smtpPassword", Text,    "",      Wire(11), "txtSMTPPassword")         \
    ROW(PhoneNumber,          "phone-number",          "phoneNumber",  Text,    "",      Wire(12), "txtPhoneNumber")          \
    ROW(Carrier,              "carrier",               "carrier",      Carrier, "",      Wire(13), "cboCellularProviders")    \
    ROW(Program,              "program",               "program",      Text,    "",      Wire(14), "txtProgram")              \
    ROW(FtpHost,              "ftp-host",              "ftpHost",      Text,    "",      Wire(15), "txtFTPHost")              \
    ROW(FtpUsername,          "ftp-username",          "ftpUsername",  Text,    "",      Wire(16), "txtFTPUsername")          \
    ROW(FtpPassword,          "ftp-password",          "ftpPassword",  Text,    "",      Wire(17), "txtFTPPassword")          \
    ROW(HideTrayIcon,         "hide-tray-icon",        "hideTrayIcon", Switch,  "false", Wire(18), "chkHideSysTrayIcon")      \
    ROW(DesktopNotifications, "desktop-notifications", nullptr,        Switch,  "true",  Keyed,    "chkDesktopNotifications") \
    ROW(PushAlerts,           "push-alerts",           nullptr,        Switch,  "false", Keyed,    "SwitchPushAlerts")        \
    ROW(PushWay,              "push-way",              nullptr,        Number,  "0",     Keyed,    "cboPushWay")              \
    ROW(PushPreset,           "push-preset",           nullptr,        Number,  "0",     Keyed,    "cboPushPreset")           \
    ROW(PushUrl,              "push-url",              nullptr,        Text,    "",      Keyed,    "txtPushUrl")              \
    ROW(PushTopic,            "push-topic",            nullptr,        Text,    "",      Keyed,    "txtPushTopic")            \
    ROW(PushToken,            "push-token",            nullptr,        Text,    "",      Keyed,    "txtPushToken")            \
    ROW(PushMethod,           "push-method",           nullptr,        Text,    "POST",  Keyed,    "txtPushMethod")           \
    ROW(PushHeaders,          "push-headers",          nullptr,        Text,    "",      Keyed,    "txtPushHeaders")          \
    ROW(PushMessage,          "push-message",          nullptr,        Text,    VELMORA_PUSH_MESSAGE, Keyed, "txtPushMessage") \
    ROW(PushCaFile,           "push-ca-file",          nullptr,        Text,    "",      Keyed,    "txtPushCaFile")           \
    ROW(AppriseUrls,          "apprise-urls",          nullptr,        Text,    "",      Keyed,    "txtAppriseUrls")          \
    ROW(PublicCheckInterval,  "public-check-interval", nullptr,        Number,  "60",    Keyed,    nullptr)                  \
    ROW(WatchIpv6,            "ipv6",                  nullptr,        Switch,  "true",  Keyed,    "chkWatchIpv6")
// clang-format on

enum class Setting
{
#define VELMORA_SETTING_CODE_NAME(code, ...) code,
    VELMORA_SETTINGS(VELMORA_SETTING_CODE_NAME)
#undef VELMORA_SETTING_CODE_NAME
};

#define VELMORA_SETTING_ONE(...) +1
inline constexpr int SettingCount = 0 VELMORA_SETTINGS(VELMORA_SETTING_ONE);
#undef VELMORA_SETTING_ONE

enum class SettingKind
{
    Switch,  // on or off: "true"/"false" in the file, "-1"/"0" on the link
    Text,    // bytes, kept exactly
    Port,    // a text that names a port (see SmtpPort.h); kept exactly, digits not enforced
    Number,  // a whole number
    Carrier, // a carrier of the list: its name in the file, its position on the link
};

struct SettingInfo
{
    Setting setting;
    const char* codeName;
    const char* fileKey;
    const char* formerFileKey;
    SettingKind kind;
    const char* defaultValue;
    int wirePosition; // 1 to 18; 0 for a setting of the extension
    const char* control;

    bool isKeyed() const { return wirePosition == 0; }
    bool hasControl() const { return control != nullptr; }
};

namespace settingtable {

// The number of values every window and service exchange ("18").
inline constexpr int WireValueCount = 18;

std::span<const SettingInfo> all();
const SettingInfo& info(Setting setting);
// The setting of wire value `position` (1 to 18).
Setting atWirePosition(int position);
// Where a wire setting's value stands in a list of the 18 values (from 0).
qsizetype wireIndex(Setting setting);
std::optional<Setting> withFileKey(QByteArrayView key);
std::optional<Setting> withFormerFileKey(QByteArrayView key);

} // namespace settingtable
