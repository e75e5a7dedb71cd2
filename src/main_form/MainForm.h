#pragma once

#include "common/SettingTable.h"
#include "main_form/CellularProvider.h"
#include "main_form/LogFile.h"
#include "main_form/MainFormContext.h"
#include "send_push/PushMessage.h"
#include "service_link/TcpClient.h"

#include <QElapsedTimer>
#include <QList>
#include <QWidget>
#include <memory>
#include <variant>

namespace Ui {
class TFormMain;
}
class HistoryLogModel;
class QAction;
class QMenu;
class SidePager;
class TFormError;

// The program's main window: the status, the alert settings the service keeps,
// the test alerts and the history log. It lives in the notification area; closing
// it only hides it.
class TFormMain : public QWidget
{
    Q_OBJECT

public:
    // Page indexes, hidden pages included.
    enum Page
    {
        StatusPage = 0,
        EmailPage,
        TextMessagePage,
        RunProgramPage,
        FtpPage,
        OptionsPage,
        LogPage,
        PushPage // its tab stands after the Text Message tab
    };

    explicit TFormMain(MainFormContext context, QWidget* parent = nullptr);
    ~TFormMain() override;

    Ui::TFormMain& ui() { return *m_ui; }
    SidePager& pager() { return *m_pager; }
    // The History Log list's rows.
    HistoryLogModel& historyLog() { return *m_logModel; }
    QMenu* trayMenu() const { return m_trayMenu; }
    QMenu* helpMenu() const { return m_helpMenu; }
    void setErrorForm(TFormError* form) { m_errorForm = form; }

    // The service status as last received.
    QString ComputerName;
    QString PublicIP;
    QString LocalIP;
    // The IPv6 addresses the service told, while it watches them; empty when
    // unknown, not watched or not told (a service of an earlier version).
    QString PublicIPv6;
    QString LocalIPv6;
    QList<TCellularProvider> Providers;
    // The settings of the link's extension that the service told (none from a
    // service of an earlier version); the others' controls are disabled.
    QList<Setting> KeyedSettings;

    // The tooltip of a setting the service does not keep.
    static inline const QString ServiceTooOldTip = QStringLiteral(
        "Not available: the Velmora Service that is running is too old for this setting.");
    static constexpr const char* OwnToolTip = "velmoraOwnToolTip";

    bool SessionEnding = false;
    bool IsLoading = false;

    // Exchanges with the service, one connection each; none lets a failure escape.
    // LoadSettings, once it succeeded, and SaveSettings also make the extension's.
    void LoadCellularProviders();
    void LoadSettings();
    void LoadKeyedSettings();
    // A refresh the user asks for is always tried; one the program makes on its
    // own may be skipped while the service is not answering (TcpClient::Attempt).
    void UpdateStatus(TcpClient::Attempt attempt = TcpClient::Attempt::Always);
    // The IPv6 addresses, from the extension's status values: asked only of a
    // service that watches them (so of none of an earlier version). A failure
    // keeps them as they were.
    void LoadKeyedStatus(TcpClient::Attempt attempt);
    // Tells the user when the settings could not be saved; returns whether they were.
    bool SaveSettings();

    void SetAuthState();
    bool ValidateTestEmailForm();
    bool ValidateTextMessageForm();
    // The Push page's settings make a notification; otherwise says what to
    // correct, and goes there.
    bool ValidatePushForm();

    // Brings the window up in its normal state, in front ("Show Velmora").
    void ShowVelmora1Click();
    // Hides the window to the notification area; to the taskbar where the
    // desktop has none.
    void hideToTray();
    // Shows the window as the program starts: not at all when started in the
    // tray, unless there is no tray to start in.
    void showAtStart(bool startInTray);
    // The end of the log-on session: no question, unsaved changes are lost.
    void endSession();

    void ReadLogFile();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    bool canHideToTray() const;
    bool iconInTray() const;
    // Font and colours from the desktop's; again whenever the desktop's change.
    void applyLook();
    void keepLogColumnsWhole();
    // The History Log's columns from firstColumn on as wide as their longest
    // text needs.
    void sizeLogColumns(int firstColumn = 0);
    void buildTrayMenu();
    void buildHelpMenu();
    void connectHandlers();
    void refreshStatusDisplay();
    // Takes whether the service watches IPv6 from the setting as it now holds it.
    void noteIpv6Watching();
    void selectPageAndFocus(int page, QWidget* field);
    // Runs a handler; an error it raises is shown in the general error box.
    void guarded(const std::function<void()>& handler);

    // Change tracking and commit.
    void TextChange();
    void SwitchEmailAlertsStateChanged(bool on);
    void SwitchTextAlertsStateChanged(bool on);
    void chkAuthClick();
    void chkUseSSLClick();
    void btnApplyClick();
    void btnOKClick();
    void AdvGlowButton3Click();
    // The save question when there are unsaved changes; Yes saves.
    void savePrompt();
    void FormCloseQuery(bool& canClose);
    void Exit1Click();
    void Exit2Click();
    void chkHideSysTrayIconClick();
    void chkStartAtLogonClick();

    // Status display.
    void tabStatusShow();
    // The pointer over the icon, or a tray that asks for the tip.
    void refreshTip();
    void PublicIPAddress1Click();
    void LocalIPAddress1Click();
    void trayClicked(Qt::MouseButton button);
    void trayDoubleClicked();
    void trayActivated();
    void trayAppeared();

    // Test alerts.
    void AdvGlowButton1Click();
    void btnSendTestMessageClick();

    // History log.
    void tabLogShow();
    void btnClearLogClick();
    void btnPrintLogClick();
    // Says under the list why the log is not shown whole, or nothing.
    void showLogNotice(LogFileProblem problem);

    // Help menu.
    void Help2Click();
    void VisitWebSiteClick();
    void About2Click();

    // Push page.
    void setUpPushPage();
    // Shows the fields the chosen way and service use, and the preview.
    void updatePushPage();
    AlertSettings pushSettingsShown();
    std::variant<PushJob, pushmessage::Unusable> testPushJob();
    QString pushPreview();
    bool appriseInstalled() const;
    void btnSendTestPushClick();
    // The error dialog of the test alerts' failures.
    TFormError& errorDialog();

    // Run Program and FTP pages.
    void btnSelectProgramClick();
    void btnTestProgramClick();
    void btnUploadTestPageClick();
    // Shows each status of the FTP upload as a notice.
    void FTPStatus(const QString& statusText);

    MainFormContext m_context;
    std::unique_ptr<Ui::TFormMain> m_ui;
    SidePager* m_pager = nullptr;
    HistoryLogModel* m_logModel = nullptr;
    TcpClient m_tcpClient;
    QMenu* m_trayMenu = nullptr;
    QMenu* m_helpMenu = nullptr;
    QAction* PublicIPAddress1 = nullptr;
    QAction* LocalIPAddress1 = nullptr;
    QAction* ShowVelmora1 = nullptr;
    QAction* Exit1 = nullptr;
    QAction* Help2 = nullptr;
    QAction* VisitWebSite1 = nullptr;
    QAction* About2 = nullptr;
    QAction* Exit2 = nullptr;
    TFormError* m_errorForm = nullptr;
    bool m_everShown = false;
    // Whether the service watches IPv6, as it holds the setting (told or saved).
    bool m_serviceWatchesIpv6 = false;
    // Since when the window has been asked to show, until it is on screen: a
    // minimize meanwhile comes from the window manager, not from the user.
    QElapsedTimer m_shownAt;
    static constexpr qint64 LateMinimizeMs = 1000;
};
