#pragma once

#include "common/AlertSettings.h"
#include "fakes/FakeService.h"
#include "fakes/FakeTrayIcon.h"
#include "fakes/RecordingShellActions.h"
#include "fakes/ScriptedDialogs.h"
#include "main_form/MainForm.h"
#include "toolkit/AutostartEntry.h"

#include <QTemporaryDir>
#include <memory>

// A main window wired to a scripted service, scripted dialogs, a fake tray icon
// and recording shell actions, with a history log path in a temporary folder.
class MainFormFixture
{
public:
    MainFormFixture();

    // The 18 wire values as the service sends them, one per list entry.
    static QList<QByteArray> defaultValues();
    // "GetKeyedSettings" reply of a service of this version: the settings of the
    // extension, at their defaults unless given. The fixture answers with it
    // unless a test takes it away (a service of an earlier version).
    static QByteArray keyedSettingsReply(const SettingValues& values = {});
    static QList<QByteArray> defaultCarriers();
    // "GetSettings" reply: line 0, the three status lines, then the values.
    static QByteArray settingsReply(const QList<QByteArray>& values,
                                    const QList<QByteArray>& status = {"pc-1", "203.0.113.7",
                                                                       "192.168.1.20"});
    static QByteArray statusReply(const QByteArray& name, const QByteArray& publicIp,
                                  const QByteArray& localIp);
    // "GetKeyedStatus" reply of a service of this version: the three values of
    // "UpdateStatus", then the IPv6 addresses (empty: none known). The fixture
    // answers with the default status and no IPv6 address.
    static QByteArray keyedStatusReply(const QByteArray& name, const QByteArray& publicIp,
                                       const QByteArray& localIp, const QByteArray& publicIpv6 = {},
                                       const QByteArray& localIpv6 = {});

    void setValues(const QList<QByteArray>& values);
    TFormMain& create();
    TFormMain& form() { return *m_form; }
    Ui::TFormMain& ui() { return m_form->ui(); }
    // The lists the window sent with "SaveSettings", in order.
    QList<QList<QByteArray>> savedLists() const;
    // The lists the window sent with "SaveKeyedSettings", in order.
    QList<QList<QByteArray>> keyedSaves() const;
    // Waits (bounded) until the service has recorded count saves.
    QList<QList<QByteArray>> waitForSavedLists(int count) const;

    FakeService service;
    ScriptedDialogs dialogs;
    FakeTrayIcon tray;
    RecordingShellActions shell;
    QTemporaryDir folder;
    // The log-on start, in the temporary folder: this user's autostart folder and
    // a system-wide one.
    AutostartEntry autostart{QStringLiteral("example.velmora.Velmora"),
                             {QStringLiteral("/usr/bin/velmora"), QStringLiteral("systray")},
                             folder.filePath(QStringLiteral("autostart")),
                             {folder.filePath(QStringLiteral("xdg-autostart"))}};
    int quitRequests = 0;
    // Changes the window's collaborators before create() makes it (real shell
    // actions, the FTP page's port).
    std::function<void(MainFormContext&)> adjustContext;
    QDateTime now = QDateTime(QDate(2026, 12, 10), QTime(14, 3, 7));
    // The mail engine for test sends; none unless a test sets one before create().
    std::function<std::unique_ptr<AbstractMailManager>()> createMailManager;

private:
    std::unique_ptr<TFormMain> m_form;
};
