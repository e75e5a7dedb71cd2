#include "main_form/MainForm.h"

#include "common/CarrierLine.h"
#include "common/ErrorText.h"
#include "common/SettingSpelling.h"
#include "common/TextConvert.h"
#include "common/WrapMessage.h"
#include "main_form/HistoryLogModel.h"
#include "main_form/ServiceNotices.h"
#include "main_form/SettingControls.h"
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

// The service's bytes as the window shows them, losing no byte (the locale's
// 8-bit encoding is UTF-8).
QString text(const QByteArray& bytes)
{
    return textKeepingBytes(bytes);
}

} // namespace

TFormMain::TFormMain(MainFormContext context, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_context(std::move(context)), m_ui(std::make_unique<Ui::TFormMain>()),
      m_tcpClient(m_context.serviceHost, m_context.servicePort, m_context.serviceTimeLimit)
{
    Q_INIT_RESOURCE(velmora);
    m_ui->setupUi(this);
    m_pager = new SidePager(m_ui->tabList, m_ui->pageControl, this,
                            {StatusPage, EmailPage, TextMessagePage, PushPage, RunProgramPage,
                             FtpPage, OptionsPage, LogPage});
    m_pager->setTabVisible(RunProgramPage, false);
    m_pager->setTabVisible(FtpPage, false);
    m_pager->setCurrentIndex(StatusPage);
    m_logModel = new HistoryLogModel(this);
    m_ui->lvLog->setModel(m_logModel);
    m_ui->lvLog->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_ui->lvLog->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    // The IPv6 columns come and go with the log's lines; the others keep their width.
    connect(m_logModel, &QAbstractItemModel::columnsInserted, this,
            [this](const QModelIndex&, int first) { sizeLogColumns(first); });
    connect(m_logModel, &QAbstractItemModel::modelReset, this,
            [this] { sizeLogColumns(LogLines::FieldCount); });
    m_ui->AdvGlowButton1->setDefault(true);
    new TypingLimit(10, m_ui->txtPhoneNumber);
    showPasswordAsStars(m_ui->txtSMTPPassword);
    showPasswordAsStars(m_ui->txtFTPPassword);
    new FocusFrameFollower(this);
    new LookFollower(this, [this] { applyLook(); });
    setUpPushPage();
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
    UpdateStatus(TcpClient::Attempt::UnlessUnanswered);
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
    // The settings of the link's extension mark the settings modified, as a text field does.
    for (const SettingInfo& row : settingtable::all()) {
        if (row.isKeyed() && row.hasControl())
            settingcontrols::onUserChange(settingcontrols::controlOf(this, row.setting), this,
                                          [this] { guarded([this] { TextChange(); }); });
    }

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
        on(m_context.trayIcon, &TrayIcon::pointerMoved, &TFormMain::refreshTip);
        // A tray that reports no pointer movement asks for the tip another way.
        on(m_context.trayIcon, &TrayIcon::tipDue, &TFormMain::refreshTip);
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
        // At creation, once for all: the first exchange of the program.
        ServiceTransaction transaction(m_tcpClient, TcpClient::Attempt::UnlessUnanswered);
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
        // A service that left the carrier list unanswered is not waited for twice.
        transaction.emplace(m_tcpClient, TcpClient::Attempt::UnlessUnanswered);
        const QList<QByteArray> reply = service::request(*transaction, service::GetSettings);
        const auto line = [&reply](int n) { return text(service::replyLine(reply, n)); };
        ComputerName = line(service::ComputerNameLine);
        PublicIP = line(service::PublicIpLine);
        LocalIP = line(service::LocalIpLine);
        // Each value reaches its control before the next is read.
        for (int position = 1; position <= settingtable::WireValueCount; ++position) {
            const Setting setting = settingtable::atWirePosition(position);
            settingcontrols::show(settingcontrols::controlOf(this, setting),
                                  service::replyLine(reply, service::valueLine(setting)));
        }
        transaction.reset();
        LoadKeyedSettings();
        return;
    } catch (const std::exception&) {
    }
    m_context.dialogs->notice(servicenotices::couldNotConnect());
    if (m_context.requestQuit)
        m_context.requestQuit();
}

void TFormMain::LoadKeyedSettings()
{
    KeyedSettings.clear();
    try {
        ServiceTransaction transaction(m_tcpClient, TcpClient::Attempt::UnlessUnanswered);
        const QList<QByteArray> reply = service::request(transaction, service::GetKeyedSettings);
        transaction.close();
        for (const QByteArray& line : reply.mid(1)) {
            try {
                const auto [key, value] = spelling::splitKeyedLine(line);
                const std::optional<Setting> setting = settingtable::withFileKey(key);
                // Keys this window does not know are a newer service's; those
                // without a control are the settings file's alone.
                if (!setting || !settingtable::info(*setting).isKeyed() ||
                    !settingtable::info(*setting).hasControl() || KeyedSettings.contains(*setting))
                    continue;
                settingcontrols::show(settingcontrols::controlOf(this, *setting), value);
                KeyedSettings.append(*setting);
            } catch (const ConvertError&) {
                // A value this window cannot show: the setting stays out of its reach.
            }
        }
    } catch (const std::exception&) {
        // A service of an earlier version closes the connection unanswered.
    }
    for (const SettingInfo& row : settingtable::all()) {
        if (!row.isKeyed() || !row.hasControl())
            continue;
        QWidget* control = settingcontrols::controlOf(this, row.setting);
        const bool known = KeyedSettings.contains(row.setting);
        control->setEnabled(known);
        // The control's own tip comes back once a service keeps the setting again.
        if (!control->property(OwnToolTip).isValid())
            control->setProperty(OwnToolTip, control->toolTip());
        control->setToolTip(known ? control->property(OwnToolTip).toString() : ServiceTooOldTip);
    }
    noteIpv6Watching();
}

void TFormMain::noteIpv6Watching()
{
    m_serviceWatchesIpv6 =
        KeyedSettings.contains(Setting::WatchIpv6) && m_ui->chkWatchIpv6->isChecked();
    if (!m_serviceWatchesIpv6) {
        PublicIPv6.clear();
        LocalIPv6.clear();
    }
}

void TFormMain::UpdateStatus(TcpClient::Attempt attempt)
{
    try {
        ServiceTransaction transaction(m_tcpClient, attempt);
        const QList<QByteArray> reply = service::request(transaction, service::UpdateStatus);
        ComputerName = text(service::replyLine(reply, service::ComputerNameLine));
        PublicIP = text(service::replyLine(reply, service::PublicIpLine));
        LocalIP = text(service::replyLine(reply, service::LocalIpLine));
        transaction.close();
        LoadKeyedStatus(attempt);
        refreshStatusDisplay();
    } catch (const std::exception&) {
        // A failed refresh changes nothing on screen and tells nothing.
    }
}

void TFormMain::LoadKeyedStatus(TcpClient::Attempt attempt)
{
    if (!m_serviceWatchesIpv6)
        return;
    try {
        ServiceTransaction transaction(m_tcpClient, attempt);
        const QList<QByteArray> reply = service::request(transaction, service::GetKeyedStatus);
        transaction.close();
        // A value the reply lacks is one the service does not report.
        QString publicIpv6;
        QString localIpv6;
        for (const QByteArray& line : reply.mid(1)) {
            try {
                const auto [key, value] = spelling::splitKeyedLine(line);
                if (key == service::PublicIpv6Key)
                    publicIpv6 = text(value);
                else if (key == service::LocalIpv6Key)
                    localIpv6 = text(value);
            } catch (const ConvertError&) {
                // Not a keyed line: passed over, as keys this window does not know.
            }
        }
        PublicIPv6 = publicIpv6;
        LocalIPv6 = localIpv6;
    } catch (const std::exception&) {
        // The IPv6 addresses stay as they were.
    }
}

void TFormMain::refreshTip()
{
    // Pointer movements come in streams: a service that has just left an
    // exchange unanswered is not asked again at each one.
    UpdateStatus(TcpClient::Attempt::UnlessUnanswered);
}

void TFormMain::refreshStatusDisplay()
{
    m_ui->lblComputerName->setText(statustexts::computerNameLabel(ComputerName));
    m_ui->lblPublicIP->setText(statustexts::publicIpLabel(PublicIP));
    m_ui->lblLocalIP->setText(statustexts::localIpLabel(LocalIP));
    // The IPv6 lines only while there is an address to show.
    m_ui->lblPublicIPv6->setText(statustexts::publicIpv6Label(PublicIPv6));
    m_ui->lblPublicIPv6->setVisible(!PublicIPv6.isEmpty());
    m_ui->lblLocalIPv6->setText(statustexts::localIpv6Label(LocalIPv6));
    m_ui->lblLocalIPv6->setVisible(!LocalIPv6.isEmpty());
    PublicIPAddress1->setText(statustexts::copyPublicIpCaption(PublicIP));
    LocalIPAddress1->setText(statustexts::copyLocalIpCaption(LocalIP));
    if (m_context.trayIcon)
        m_context.trayIcon->setToolTip(
            statustexts::trayTip(ComputerName, PublicIP, LocalIP, PublicIPv6, LocalIPv6));
}

bool TFormMain::SaveSettings()
{
    try {
        {
            // The connection opens before anything is read from the controls.
            ServiceTransaction transaction(m_tcpClient);
            QList<QByteArray> list{QByteArray::number(settingtable::WireValueCount)};
            for (int position = 1; position <= settingtable::WireValueCount; ++position)
                list.append(settingcontrols::value(
                    settingcontrols::controlOf(this, settingtable::atWirePosition(position))));
            service::sendSettings(transaction, list);
        }
        // Only to a service that told its keys: one of an earlier version knows no
        // more than the 18.
        if (!KeyedSettings.isEmpty()) {
            ServiceTransaction transaction(m_tcpClient);
            QList<QByteArray> lines;
            for (Setting setting : std::as_const(KeyedSettings))
                lines.append(spelling::keyedLine(
                    settingtable::info(setting).fileKey,
                    settingcontrols::value(settingcontrols::controlOf(this, setting))));
            service::sendKeyedSettings(transaction, lines);
            // Watching IPv6 turned off shows none from now on; turned on, the
            // next refresh asks for them.
            noteIpv6Watching();
            refreshStatusDisplay();
        }
        m_ui->btnApply->setEnabled(false);
        return true;
    } catch (const std::exception& failure) {
        // Told once, with its cause, after the connection has closed; Apply keeps
        // its state, so changes stay marked unsaved and the close asks again.
        m_context.dialogs->notice(servicenotices::settingsNotSaved(failure));
        return false;
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
