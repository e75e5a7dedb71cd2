// The Push page: the fields the chosen way and service use, the preview of the
// notification, its checks, and "Send Test Notification", which hands the
// notification to the push helper as the service does for a change.
#include "main_form/MainForm.h"

#include "common/AlertSettings.h"
#include "common/TextConvert.h"
#include "helpers/HelperRun.h"
#include "main_form/SettingControls.h"
#include "send_push/PushMessage.h"
#include "shell/Error.h"
#include "toolkit/Dialogs.h"
#include "ui_MainForm.h"

#include <QApplication>
#include <QFileInfo>
#include <QGridLayout>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QUrl>
#include <stdexcept>

namespace {

// The settings the Push page shows.
constexpr Setting PushSettings[] = {
    Setting::PushAlerts,  Setting::PushWay,    Setting::PushPreset,  Setting::PushUrl,
    Setting::PushTopic,   Setting::PushToken,  Setting::PushMethod,  Setting::PushHeaders,
    Setting::PushMessage, Setting::PushCaFile, Setting::AppriseUrls,
};

QString sentence(const QString& reason)
{
    return reason.left(1).toUpper() + reason.mid(1) + u'.';
}

} // namespace

void TFormMain::setUpPushPage()
{
    // The page keeps the height of its tallest arrangement, so that the window
    // does not change its size as fields come and go.
    int tallest = 0;
    for (int way = 0; way < m_ui->cboPushWay->count(); ++way) {
        for (int preset = 0; preset < m_ui->cboPushPreset->count(); ++preset) {
            m_ui->cboPushWay->setCurrentIndex(way);
            m_ui->cboPushPreset->setCurrentIndex(preset);
            updatePushPage();
            tallest = qMax(tallest, m_ui->tabPush->sizeHint().height());
        }
    }
    m_ui->cboPushWay->setCurrentIndex(0);
    m_ui->cboPushPreset->setCurrentIndex(0);
    m_ui->tabPush->setMinimumHeight(tallest);
    for (QComboBox* list : {m_ui->cboPushWay, m_ui->cboPushPreset})
        connect(list, &QComboBox::currentIndexChanged, this,
                [this] { guarded([this] { updatePushPage(); }); });
    for (QLineEdit* field : {m_ui->txtPushUrl, m_ui->txtPushTopic, m_ui->txtPushToken,
                             m_ui->txtPushMethod, m_ui->txtPushCaFile})
        connect(field, &QLineEdit::textChanged, this,
                [this] { guarded([this] { updatePushPage(); }); });
    for (QPlainTextEdit* box : {m_ui->txtPushHeaders, m_ui->txtPushMessage, m_ui->txtAppriseUrls})
        connect(box, &QPlainTextEdit::textChanged, this,
                [this] { guarded([this] { updatePushPage(); }); });
    connect(m_ui->SwitchPushAlerts, &OnOffSwitch::stateChanged, this, [this](bool on) {
        guarded([this, on] {
            if (on)
                ValidatePushForm();
        });
    });
    connect(m_ui->btnSendTestPush, &QPushButton::clicked, this,
            [this] { guarded([this] { btnSendTestPushClick(); }); });
    updatePushPage();
}

AlertSettings TFormMain::pushSettingsShown()
{
    AlertSettings settings;
    for (const Setting setting : PushSettings)
        settings.set(
            setting,
            AlertSettings::fromLink(
                setting, settingcontrols::value(settingcontrols::controlOf(this, setting)), {}));
    return settings;
}

std::variant<PushJob, pushmessage::Unusable> TFormMain::testPushJob()
{
    // A test tells of no change: the addresses before are the addresses now.
    const pushmessage::Facts facts{
        .computerName = ComputerName,
        .oldPublicIp = PublicIP,
        .publicIp = PublicIP,
        .oldLocalIp = LocalIP,
        .localIp = LocalIP,
        .time = m_context.clock().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
        .oldPublicIpv6 = PublicIPv6,
        .publicIpv6 = PublicIPv6,
        .oldLocalIpv6 = LocalIPv6,
        .localIpv6 = LocalIPv6,
    };
    std::variant<PushJob, pushmessage::Unusable> made =
        pushmessage::job(pushSettingsShown(), facts, QStringLiteral("Velmora Alert (TEST)"));
    if (auto* job = std::get_if<PushJob>(&made))
        job->appriseProgram = m_context.appriseProgram;
    return made;
}

bool TFormMain::appriseInstalled() const
{
    const QString& program = m_context.appriseProgram;
    return program.contains(u'/') ? QFileInfo(program).isExecutable()
                                  : !QStandardPaths::findExecutable(program).isEmpty();
}

void TFormMain::updatePushPage()
{
    const bool web = m_ui->cboPushWay->currentIndex() != pushmessage::AppriseUrls;
    const int preset = m_ui->cboPushPreset->currentIndex();
    const bool own = preset == pushmessage::OwnRequest;
    const bool ntfy = preset == pushmessage::Ntfy;
    const bool gotify = preset == pushmessage::Gotify;
    const auto show = [](std::initializer_list<QWidget*> widgets, bool visible) {
        for (QWidget* widget : widgets)
            widget->setVisible(visible);
    };
    show({m_ui->lblPushPreset, m_ui->cboPushPreset, m_ui->lblPushUrl, m_ui->txtPushUrl,
          m_ui->lblPushCaFile, m_ui->txtPushCaFile},
         web);
    show({m_ui->lblPushTopic, m_ui->txtPushTopic}, web && ntfy);
    show({m_ui->lblPushToken, m_ui->txtPushToken}, web && (ntfy || gotify));
    show({m_ui->lblPushMethod, m_ui->txtPushMethod, m_ui->lblPushHeaders, m_ui->txtPushHeaders},
         web && own);
    show({m_ui->lblAppriseUrls, m_ui->txtAppriseUrls}, !web);
    // The message stands beside the headers, or takes their place.
    QGridLayout* grid = m_ui->pushFieldsLayout;
    const int messageRow = 3;
    grid->removeWidget(m_ui->lblPushMessage);
    grid->removeWidget(m_ui->txtPushMessage);
    grid->addWidget(m_ui->lblPushMessage, messageRow, web && own ? 2 : 0);
    grid->addWidget(m_ui->txtPushMessage, messageRow, web && own ? 3 : 1, 1, web && own ? 1 : 3);
    const bool appriseMissing = !web && !appriseInstalled();
    m_ui->lblAppriseMissing->setVisible(appriseMissing);
    if (appriseMissing)
        m_ui->lblAppriseMissing->setText(QStringLiteral(
            "The apprise command is not installed. Install it with: sudo apt install apprise"));
    m_ui->lblPushUrl->setText(ntfy || gotify ? QStringLiteral("Server URL")
                                             : QStringLiteral("URL"));
    m_ui->lblPushToken->setText(gotify ? QStringLiteral("App Token")
                                       : QStringLiteral("Access Token"));
    m_ui->txtPushToken->setPlaceholderText(ntfy ? QStringLiteral("optional") : QString());
    m_ui->lblPushMessage->setText(web && own ? QStringLiteral("Body") : QStringLiteral("Message"));
    m_ui->txtPushPreview->setPlainText(pushPreview());
}

QString TFormMain::pushPreview()
{
    const std::variant<PushJob, pushmessage::Unusable> made = testPushJob();
    if (const auto* unusable = std::get_if<pushmessage::Unusable>(&made))
        return sentence(unusable->reason);
    const PushJob& job = std::get<PushJob>(made);
    if (job.way == PushJob::Way::Apprise)
        return QStringLiteral("%1\n%2\n%3")
            .arg(pushmessage::destination(job), job.title, job.message);
    QStringList lines{job.method + u' ' + pushmessage::destination(job)};
    for (const QString& header : job.headers)
        lines << pushmessage::redacted(header, job.secrets);
    lines << QString() << pushmessage::redacted(textKeepingBytes(job.body), job.secrets);
    return lines.join(u'\n');
}

bool TFormMain::ValidatePushForm()
{
    const std::variant<PushJob, pushmessage::Unusable> made = testPushJob();
    const auto* unusable = std::get_if<pushmessage::Unusable>(&made);
    if (!unusable)
        return true;
    m_context.dialogs->notice(QStringLiteral("Error: ") + sentence(unusable->reason));
    selectPageAndFocus(PushPage, settingcontrols::controlOf(this, unusable->setting));
    return false;
}

void TFormMain::btnSendTestPushClick()
{
    if (!ValidatePushForm())
        return;
    const PushJob job = std::get<PushJob>(testPushJob());
    if (job.way == PushJob::Way::Apprise && !appriseInstalled()) {
        errorDialog().showError(
            QStringLiteral("The apprise command is not installed. Install it with: "
                           "sudo apt install apprise"),
            this);
        return;
    }
    HelperEnd end;
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const auto restoreCursor = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
        end = HelperRun::run(
            {m_context.pushHelper, {}, job.encode(), job.runLimit(), HelperRun::Errors::Discarded});
    }
    if (end.kind == HelperEnd::NotStarted)
        throw std::runtime_error(QStringLiteral("Cannot start %1: %2")
                                     .arg(m_context.pushHelper, end.error)
                                     .toStdString());
    const QString said =
        pushmessage::redacted(QString::fromUtf8(end.report).trimmed(), job.secrets);
    if (end.succeeded())
        m_context.dialogs->notice(QStringLiteral("Success: Test Notification Sent"));
    else
        errorDialog().showError(
            said.isEmpty() ? QStringLiteral("The push helper did not finish.") : said, this);
}
