#include "main_form/MainForm.h"

#include "common/AlertSettings.h"
#include "common/CarrierLine.h"
#include "common/ErrorText.h"
#include "common/TextConvert.h"
#include "common/WrapMessage.h"
#include "main_form/HistoryLogModel.h"
#include "main_form/StatusTexts.h"
#include "service_link/ServiceCommands.h"
#include "shell/Shared.h"
#include "toolkit/AutostartEntry.h"
#include "toolkit/Dialogs.h"
#include "toolkit/FocusFrameFollower.h"
#include "toolkit/LookFollower.h"
#include "toolkit/PasswordStars.h"
#include "toolkit/ShellActions.h"
#include "toolkit/SidePager.h"
#include "toolkit/TrayIcon.h"
#include "toolkit/TypingLimit.h"
#include "ui_MainForm.h"

#include <QFont>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLayout>
#include <QMenu>
#include <QScreen>
#include <QWindow>
#include <optional>

namespace {

// The settings' bytes as the controls show them, and back, losing no byte
// (the locale's 8-bit encoding is UTF-8).
QString text(const QByteArray& bytes)
{
    return textKeepingBytes(bytes);
}

QByteArray bytes(const QString& text)
{
    return bytesKeptInText(text);
}

} // namespace

TFormMain::TFormMain(MainFormContext context, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_context(std::move(context)), m_ui(std::make_unique<Ui::TFormMain>()),
      m_tcpClient(m_context.serviceHost, m_context.servicePort)
{
    Q_INIT_RESOURCE(velmora);
    m_ui->setupUi(this);
    m_pager = new SidePager(m_ui->tabList, m_ui->pageControl, this);
    m_pager->setTabVisible(RunProgramPage, false);
    m_pager->setTabVisible(FtpPage, false);
    m_pager->setCurrentIndex(StatusPage);
    m_logModel = new HistoryLogModel(this);
    m_ui->lvLog->setModel(m_logModel);
    m_ui->lvLog->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_ui->lvLog->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_ui->AdvGlowButton1->setDefault(true);
    new TypingLimit(10, m_ui->txtPhoneNumber);
    showPasswordAsStars(m_ui->txtSMTPPassword);
    showPasswordAsStars(m_ui->txtFTPPassword);
    new FocusFrameFollower(this);
    new LookFollower(this, [this] { applyLook(); });
    // The window takes the size its layout needs (the drawn 638 by 515 at the drawn font)
    // and the user cannot resize it.
    layout()->activate();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    buildTrayMenu();
    buildHelpMenu();
    connectHandlers();
    FormCreate();
}

TFormMain::~TFormMain() = default;

void TFormMain::FormCreate()
{
    IsLoading = true;
    setWindowTitle(ProductTitle);
    m_ui->lblStatusHeading->setText(m_context.applicationTitle + QStringLiteral(" - Status"));
    m_ui->lblEmailDescription->setText(QStringLiteral("When your ip address changes, ") +
                                       ProductTitle + QStringLiteral(" can send email alerts."));
    SessionEnding = false;
    LoadCellularProviders();
    LoadSettings();
    UpdateStatus();
    SetAuthState();
    // Not one of the service's settings: the desktop's own autostart entry.
    m_ui->chkStartAtLogon->setChecked(m_context.autostart && m_context.autostart->isEnabled());
    m_ui->chkStartAtLogon->setVisible(m_context.autostart != nullptr);
    IsLoading = false;
}

void TFormMain::buildTrayMenu()
{
    m_trayMenu = new QMenu(this);
    m_trayMenu->setObjectName(QStringLiteral("TrayMenu"));
    PublicIPAddress1 = m_trayMenu->addAction(QStringLiteral("Public IP Address: "));
    PublicIPAddress1->setObjectName(QStringLiteral("PublicIPAddress1"));
    LocalIPAddress1 = m_trayMenu->addAction(QStringLiteral("Local IP Address: "));
    LocalIPAddress1->setObjectName(QStringLiteral("LocalIPAddress1"));
    m_trayMenu->addSeparator();
    ShowVelmora1 = m_trayMenu->addAction(QStringLiteral("Show Velmora"));
    ShowVelmora1->setObjectName(QStringLiteral("ShowVelmora1"));
    QFont bold = ShowVelmora1->font();
    bold.setBold(true);
    ShowVelmora1->setFont(bold);
    m_trayMenu->setDefaultAction(ShowVelmora1);
    m_trayMenu->addSeparator();
    Exit1 = m_trayMenu->addAction(QStringLiteral("E&xit"));
    Exit1->setObjectName(QStringLiteral("Exit1"));
    if (m_context.trayIcon) {
        m_context.trayIcon->setMenu(m_trayMenu);
        m_context.trayIcon->show();
    }
}

void TFormMain::buildHelpMenu()
{
    m_helpMenu = new QMenu(this);
    m_helpMenu->setObjectName(QStringLiteral("mnuHelp"));
    Help2 = m_helpMenu->addAction(QStringLiteral("&Help && Documentation"));
    Help2->setObjectName(QStringLiteral("Help2"));
    m_helpMenu->addSeparator();
    VisitWebSite1 = m_helpMenu->addAction(QStringLiteral("Visit Web Site"));
    About2 = m_helpMenu->addAction(QStringLiteral("&About"));
    About2->setObjectName(QStringLiteral("About2"));
    m_helpMenu->addSeparator();
    Exit2 = m_helpMenu->addAction(QStringLiteral("E&xit"));
    Exit2->setObjectName(QStringLiteral("Exit2"));
    m_ui->AdvGlowButton4->setMenu(m_helpMenu);
}

void TFormMain::connectHandlers()
{
    const auto on = [this](auto* sender, auto signal, void (TFormMain::*handler)()) {
        connect(sender, signal, this,
                [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
    };

    for (QLineEdit* field :
         {m_ui->txtEmail, m_ui->txtSMTP, m_ui->txtSMTPPort, m_ui->txtSMTPUsername,
          m_ui->txtSMTPPassword, m_ui->txtPhoneNumber, m_ui->txtProgram, m_ui->txtFTPHost,
          m_ui->txtFTPUsername, m_ui->txtFTPPassword, m_ui->Edit1, m_ui->Edit2})
        on(field, &QLineEdit::textChanged, &TFormMain::TextChange);
    // Only the user's choice of a carrier counts as a change.
    on(m_ui->cboCellularProviders, &QComboBox::activated, &TFormMain::TextChange);

    connect(m_ui->SwitchEmailAlerts, &OnOffSwitch::stateChanged, this, [this](bool state) {
        guarded([this, state] { SwitchEmailAlertsStateChanged(state); });
    });
    connect(m_ui->SwitchTextAlerts, &OnOffSwitch::stateChanged, this, [this](bool state) {
        guarded([this, state] { SwitchTextAlertsStateChanged(state); });
    });
    on(m_ui->chkAuth, &QCheckBox::clicked, &TFormMain::chkAuthClick);
    on(m_ui->chkUseSSL, &QCheckBox::clicked, &TFormMain::chkUseSSLClick);
    on(m_ui->chkHideSysTrayIcon, &QCheckBox::clicked, &TFormMain::chkHideSysTrayIconClick);
    on(m_ui->chkStartAtLogon, &QCheckBox::clicked, &TFormMain::chkStartAtLogonClick);

    on(m_ui->btnApply, &QPushButton::clicked, &TFormMain::btnApplyClick);
    on(m_ui->btnOK, &QPushButton::clicked, &TFormMain::btnOKClick);
    on(m_ui->AdvGlowButton3, &QPushButton::clicked, &TFormMain::AdvGlowButton3Click);
    on(m_ui->AdvGlowButton1, &QPushButton::clicked, &TFormMain::AdvGlowButton1Click);
    on(m_ui->btnSendTestMessage, &QPushButton::clicked, &TFormMain::btnSendTestMessageClick);
    on(m_ui->btnClearLog, &QPushButton::clicked, &TFormMain::btnClearLogClick);
    on(m_ui->btnPrintLog, &QPushButton::clicked, &TFormMain::btnPrintLogClick);
    on(m_ui->btnSelectProgram, &QPushButton::clicked, &TFormMain::btnSelectProgramClick);
    on(m_ui->btnTestProgram, &QPushButton::clicked, &TFormMain::btnTestProgramClick);
    on(m_ui->btnUploadTestPage, &QPushButton::clicked, &TFormMain::btnUploadTestPageClick);

    on(PublicIPAddress1, &QAction::triggered, &TFormMain::PublicIPAddress1Click);
    on(LocalIPAddress1, &QAction::triggered, &TFormMain::LocalIPAddress1Click);
    on(ShowVelmora1, &QAction::triggered, &TFormMain::ShowVelmora1Click);
    on(Exit1, &QAction::triggered, &TFormMain::Exit1Click);
    on(Help2, &QAction::triggered, &TFormMain::Help2Click);
    on(VisitWebSite1, &QAction::triggered, &TFormMain::VisitWebSiteClick);
    on(About2, &QAction::triggered, &TFormMain::About2Click);
    on(Exit2, &QAction::triggered, &TFormMain::Exit2Click);

    if (m_context.trayIcon) {
        connect(m_context.trayIcon, &TrayIcon::clicked, this, [this](Qt::MouseButton button) {
            guarded([this, button] { trayClicked(button); });
        });
        on(m_context.trayIcon, &TrayIcon::doubleClicked, &TFormMain::trayDoubleClicked);
        on(m_context.trayIcon, &TrayIcon::activated, &TFormMain::trayActivated);
        on(m_context.trayIcon, &TrayIcon::trayAppeared, &TFormMain::trayAppeared);
        on(m_context.trayIcon, &TrayIcon::pointerMoved, &TFormMain::UpdateStatus);
        // A tray that reports no pointer movement asks for the tip another way.
        on(m_context.trayIcon, &TrayIcon::tipDue, &TFormMain::UpdateStatus);
    }

    // The Status and History Log pages refresh whenever they become shown.
    m_ui->tabStatus->installEventFilter(this);
    m_ui->tabLog->installEventFilter(this);
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event)
{
    // Seen on screen since it was asked to show: from now on a minimize is the user's.
    if (watched == windowHandle() && event->type() == QEvent::Expose && windowHandle()->isExposed())
        m_shownAt.invalidate();
    if (event->type() == QEvent::Show && !event->spontaneous()) {
        if (watched == m_ui->tabStatus)
            guarded([this] { tabStatusShow(); });
        else if (watched == m_ui->tabLog)
            guarded([this] { tabLogShow(); });
    }
    return QWidget::eventFilter(watched, event);
}

void TFormMain::guarded(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const std::exception& error) {
        m_context.dialogs->error(withFullStop(errorText(error)));
    }
}

void TFormMain::LoadCellularProviders()
{
    try {
        ServiceTransaction transaction(m_tcpClient);
        const QList<QByteArray> reply =
            service::request(transaction, service::GetCellularProviders);
        Providers.clear();
        for (qsizetype n = 1; n < reply.size(); ++n) {
            const std::optional<CarrierLine> carrier = CarrierLine::parse(text(reply[n]));
            if (!carrier)
                return; // the box keeps its items, as after any failure here
            Providers.append({carrier->name, carrier->gateway});
        }
        m_ui->cboCellularProviders->clear();
        for (const TCellularProvider& carrier : std::as_const(Providers))
            m_ui->cboCellularProviders->addItem(carrier.Name);
        m_ui->cboCellularProviders->setCurrentIndex(-1);
    } catch (const std::exception&) {
        // The carrier list stays as it was; nothing is shown.
    }
}

void TFormMain::LoadSettings()
{
    // The failure notice is shown while the connection, if it opened, is still open.
    std::optional<ServiceTransaction> transaction;
    try {
        transaction.emplace(m_tcpClient);
        const QList<QByteArray> reply = service::request(*transaction, service::GetSettings);
        const auto line = [&reply](int n) { return text(service::replyLine(reply, n)); };
        const auto value = [&line](AlertSettings::Value n) { return line(service::valueLine(n)); };
        ComputerName = line(service::ComputerNameLine);
        PublicIP = line(service::PublicIpLine);
        LocalIP = line(service::LocalIpLine);
        // Each value reaches its control before the next is read.
        m_ui->SwitchEmailAlerts->setOn(parseBoolean(value(AlertSettings::EmailAlerts)));
        m_ui->SwitchTextAlerts->setOn(parseBoolean(value(AlertSettings::TextAlerts)));
        m_ui->SwitchRunProgram->setOn(parseBoolean(value(AlertSettings::RunProgram)));
        m_ui->SwitchFTP->setOn(parseBoolean(value(AlertSettings::FtpPage)));
        m_ui->txtEmail->setText(value(AlertSettings::Recipients));
        m_ui->txtSMTP->setText(value(AlertSettings::SmtpServer));
        m_ui->txtSMTPPort->setText(value(AlertSettings::SmtpPort));
        m_ui->chkUseSSL->setChecked(parseBoolean(value(AlertSettings::UseSsl)));
        m_ui->chkAuth->setChecked(parseBoolean(value(AlertSettings::NeedsLogin)));
        m_ui->txtSMTPUsername->setText(value(AlertSettings::SmtpUsername));
        m_ui->txtSMTPPassword->setText(value(AlertSettings::SmtpPassword));
        m_ui->txtPhoneNumber->setText(value(AlertSettings::PhoneNumber));
        const QString carrier = value(AlertSettings::Carrier);
        if (!carrier.isEmpty()) {
            const int index = parseInteger(carrier);
            m_ui->cboCellularProviders->setCurrentIndex(
                index >= 0 && index < m_ui->cboCellularProviders->count() ? index : -1);
        }
        m_ui->txtProgram->setText(value(AlertSettings::Program));
        m_ui->txtFTPHost->setText(value(AlertSettings::FtpHost));
        m_ui->txtFTPUsername->setText(value(AlertSettings::FtpUsername));
        m_ui->txtFTPPassword->setText(value(AlertSettings::FtpPassword));
        m_ui->chkHideSysTrayIcon->setChecked(parseBoolean(value(AlertSettings::HideTrayIcon)));
        return;
    } catch (const std::exception&) {
    }
    m_context.dialogs->notice(WrapMessage(QStringLiteral(
        "Could not connect to the Velmora Service component.  Please try to restart your "
        "computer.  If the problem persists reinstall the software or contact support.")));
    if (m_context.requestQuit)
        m_context.requestQuit();
}

void TFormMain::UpdateStatus()
{
    try {
        ServiceTransaction transaction(m_tcpClient);
        const QList<QByteArray> reply = service::request(transaction, service::UpdateStatus);
        ComputerName = text(service::replyLine(reply, service::ComputerNameLine));
        PublicIP = text(service::replyLine(reply, service::PublicIpLine));
        LocalIP = text(service::replyLine(reply, service::LocalIpLine));
        transaction.close();
        refreshStatusDisplay();
    } catch (const std::exception&) {
        // A failed refresh changes nothing on screen and tells nothing.
    }
}

void TFormMain::refreshStatusDisplay()
{
    m_ui->lblComputerName->setText(statustexts::computerNameLabel(ComputerName));
    m_ui->lblPublicIP->setText(statustexts::publicIpLabel(PublicIP));
    m_ui->lblLocalIP->setText(statustexts::localIpLabel(LocalIP));
    PublicIPAddress1->setText(statustexts::copyPublicIpCaption(PublicIP));
    LocalIPAddress1->setText(statustexts::copyLocalIpCaption(LocalIP));
    if (m_context.trayIcon)
        m_context.trayIcon->setToolTip(statustexts::trayTip(ComputerName, PublicIP, LocalIP));
}

void TFormMain::SaveSettings()
{
    try {
        // The connection opens before anything is read from the controls.
        ServiceTransaction transaction(m_tcpClient);
        AlertSettings settings;
        settings.emailAlerts = m_ui->SwitchEmailAlerts->isOn();
        settings.textAlerts = m_ui->SwitchTextAlerts->isOn();
        settings.runProgram = m_ui->SwitchRunProgram->isOn();
        settings.ftpPage = m_ui->SwitchFTP->isOn();
        settings.recipients = bytes(m_ui->txtEmail->text());
        settings.smtpServer = bytes(m_ui->txtSMTP->text());
        settings.smtpPort = bytes(m_ui->txtSMTPPort->text());
        settings.useSsl = m_ui->chkUseSSL->isChecked();
        settings.needsLogin = m_ui->chkAuth->isChecked();
        settings.smtpUsername = bytes(m_ui->txtSMTPUsername->text());
        settings.smtpPassword = bytes(m_ui->txtSMTPPassword->text());
        settings.phoneNumber = bytes(m_ui->txtPhoneNumber->text());
        settings.carrier = m_ui->cboCellularProviders->currentIndex();
        settings.program = bytes(m_ui->txtProgram->text());
        settings.ftpHost = bytes(m_ui->txtFTPHost->text());
        settings.ftpUsername = bytes(m_ui->txtFTPUsername->text());
        settings.ftpPassword = bytes(m_ui->txtFTPPassword->text());
        settings.hideTrayIcon = m_ui->chkHideSysTrayIcon->isChecked();
        service::sendSettings(transaction, settings.toSaveList());
        m_ui->btnApply->setEnabled(false);
    } catch (const std::exception&) {
        // A failed save tells nothing; Apply keeps its state.
    }
}

void TFormMain::SetAuthState()
{
    const bool login = m_ui->chkAuth->isChecked();
    m_ui->lblUsername->setEnabled(login);
    m_ui->lblPassword->setEnabled(login);
    m_ui->txtSMTPUsername->setEnabled(login);
    m_ui->txtSMTPPassword->setEnabled(login);
}

void TFormMain::chkUseSSLClick()
{
    if (m_ui->chkUseSSL->isChecked() && m_ui->txtSMTPPort->text() != QLatin1String("465")) {
        Question question;
        question.text = WrapMessage(QStringLiteral(
            "The port used by most Internet Service Providers for SSL email sending is 465.  "
            "Would you like to change the SMTP port to 465?"));
        question.ownedByWindow = false; // centred on the screen
        if (m_context.dialogs->question(question))
            m_ui->txtSMTPPort->setText(QStringLiteral("465"));
    }
    if (!IsLoading)
        m_ui->btnApply->setEnabled(true);
}

void TFormMain::chkAuthClick()
{
    if (!IsLoading)
        m_ui->btnApply->setEnabled(true);
    SetAuthState();
}

void TFormMain::tabStatusShow()
{
    UpdateStatus();
}

void TFormMain::PublicIPAddress1Click()
{
    m_context.shell->copyToClipboard(PublicIP);
}

void TFormMain::LocalIPAddress1Click()
{
    m_context.shell->copyToClipboard(LocalIP);
}

void TFormMain::selectPageAndFocus(int page, QWidget* field)
{
    m_pager->setCurrentIndex(page);
    field->setFocus(Qt::OtherFocusReason);
}
