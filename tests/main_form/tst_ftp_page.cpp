#include "MainFormFixture.h"
#include "servers/FreePort.h"
#include "servers/FtpServerPair.h"
#include "servers/ServerProcess.h"
#include "support/TestFiles.h"
#include "support/TestTime.h"
#include "toolkit/SidePager.h"
#include "ui_MainForm.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QtTest>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

using testfiles::readFile;
using testfiles::writeFile;
using testservers::FtpPythonServer;
using testservers::FtpServerPair;
using testservers::FtpTestServer;

namespace {

const QString PageName = QStringLiteral("velmora.html");
const QString Success = QStringLiteral(
    "Success: The page \"velmora.html\" has been \r\nuploaded to your FTP directory.");

const QString Connecting = QStringLiteral("Connecting to 127.0.0.1.");
const QString Connected = QStringLiteral("Connected.");
const QString Established = QStringLiteral("Connection established");
const QString Starting = QStringLiteral("Starting FTP transfer");
const QString Complete = QStringLiteral("Transfer complete");
const QString Disconnecting = QStringLiteral("Disconnecting.");
const QString Disconnected = QStringLiteral("Disconnected.");

const QByteArray PageTemplate = "<html><body>\r\n<p>[[ComputerName]]</p>\r\n"
                                "<p>Public: [[PublicIPAddress]]</p>\n"
                                "<p>Local: [[LocalIPAddress]]</p>\r\n</body></html>\r\n";
const QByteArray FilledPage = "<html><body>\r\n<p>pc-1</p>\r\n"
                              "<p>Public: 203.0.113.7</p>\n"
                              "<p>Local: 192.168.1.20</p>\r\n</body></html>\r\n";

QStringList successNotices(const QString& host = QStringLiteral("127.0.0.1"))
{
    QStringList notices;
    if (host != QLatin1String("127.0.0.1"))
        notices << QStringLiteral("Resolving hostname %1.").arg(host);
    return notices << Connecting << Connected << Established << Starting << Complete
                   << Disconnecting << Disconnected << Success;
}

// The account the page logs in with; empty texts take the server's own.
struct Login
{
    QString host = QStringLiteral("127.0.0.1");
    QString user;
    QString password;
};

} // namespace

// The FTP page's "Upload Test Page and View" against real FTP servers on
// 127.0.0.1, with the page template in the process's current folder.
class TestFtpPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void uploadsTheFilledPage_data();
    void uploadsTheFilledPage();
    void failuresAreNoticedAfterTheStatusesReached_data();
    void failuresAreNoticedAfterTheStatusesReached();
    void templateThatCannotBeFilledGoesToTheErrorBox_data();
    void templateThatCannotBeFilledGoesToTheErrorBox();
    void testAfterAFailureConnectsAfresh();
    void fileNameAndRootFieldsAreIgnored();
    void templateIsTakenFromTheFolderOfTheChosenProgram();
    void uploadsOnTheStandardPort();

private:
    // The window with the FTP page shown and filled in for a server on port.
    static void createOnFtpPage(MainFormFixture& f, quint16 port, const FtpTestServer* ftpServer,
                                const Login& login = {});
    QString templatePath() const { return QDir(m_folder->path()).filePath(PageName); }

    FtpServerPair m_servers;
    // The current folder during each test, fresh for each.
    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_previousFolder;
};

void TestFtpPage::initTestCase()
{
    QVERIFY2(m_servers.start(), qPrintable(m_servers.errorText()));
}

void TestFtpPage::init()
{
    m_servers.removeFromEach(PageName);
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    m_previousFolder = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_folder->path()));
}

void TestFtpPage::cleanup()
{
    QDir::setCurrent(m_previousFolder);
    m_folder.reset();
}

void TestFtpPage::createOnFtpPage(MainFormFixture& f, quint16 port, const FtpTestServer* ftpServer,
                                  const Login& login)
{
    if (port != 21)
        f.adjustContext = [port](MainFormContext& context) { context.ftpPort = port; };
    TFormMain& form = f.create();
    form.pager().setTabVisible(TFormMain::FtpPage, true);
    form.pager().setCurrentIndex(TFormMain::FtpPage);
    f.ui().txtFTPHost->setText(login.host);
    f.ui().txtFTPUsername->setText(login.user.isEmpty() && ftpServer ? ftpServer->userName()
                                                                     : login.user);
    f.ui().txtFTPPassword->setText(login.password.isEmpty() && ftpServer ? ftpServer->password()
                                                                         : login.password);
}

void TestFtpPage::uploadsTheFilledPage_data()
{
    QTest::addColumn<QString>("serverName");
    QTest::addColumn<QString>("host");
    // computer name, public, local; then public and local IPv6 when the service tells them
    QTest::addColumn<QList<QByteArray>>("status");
    QTest::addColumn<QByteArray>("pageTemplate");
    QTest::addColumn<QByteArray>("page");

    const QList<QByteArray> status{"pc-1", "203.0.113.7", "192.168.1.20"};
    const QString address = QStringLiteral("127.0.0.1");
    QTest::newRow("pyftpdlib") << "pyftpdlib" << address << status << PageTemplate << FilledPage;
    QTest::newRow("vsftpd") << "vsftpd" << address << status << PageTemplate << FilledPage;
    QTest::newRow("host by name") << "pyftpdlib" << QStringLiteral("localhost") << status
                                  << PageTemplate << FilledPage;
    QTest::newRow("other letter case, repeated")
        << "pyftpdlib" << address << status
        << QByteArray("[[computername]] [[PUBLICIPADDRESS]] [[LocalIpAddress]] [[ComputerName]]")
        << QByteArray("pc-1 203.0.113.7 192.168.1.20 pc-1");
    QTest::newRow("no placeholders")
        << "pyftpdlib" << address << status << QByteArray("<p>static page</p>\n")
        << QByteArray("<p>static page</p>\n");
    QTest::newRow("IPv6 addresses")
        << "pyftpdlib" << address
        << QList<QByteArray>{"pc-1", "203.0.113.7", "192.168.1.20", "2001:db8:1::7",
                             "2001:db8:2::20"}
        << QByteArray("[[PublicIPAddress]] [[PublicIPv6Address]] [[LocalIPv6Address]]")
        << QByteArray("203.0.113.7 2001:db8:1::7 2001:db8:2::20");
    QTest::newRow("IPv6 placeholders, none known")
        << "pyftpdlib" << address << status
        << QByteArray("v6: [[PublicIPv6Address]]/[[LocalIPv6Address]]") << QByteArray("v6: /");
    // The service never answered: the placeholders give way to nothing.
    QTest::newRow("empty status values")
        << "pyftpdlib" << address << QList<QByteArray>{"", "", ""} << PageTemplate
        << QByteArray("<html><body>\r\n<p></p>\r\n<p>Public: </p>\n<p>Local: </p>\r\n"
                      "</body></html>\r\n");
}

void TestFtpPage::uploadsTheFilledPage()
{
    QFETCH(QString, serverName);
    QFETCH(QString, host);
    QFETCH(QList<QByteArray>, status);
    QFETCH(QByteArray, pageTemplate);
    QFETCH(QByteArray, page);
    FtpTestServer* const ftpServer = m_servers.byName(serverName);
    if (!ftpServer)
        QSKIP(qPrintable(m_servers.vsftpdSkipReason()));
    QVERIFY(writeFile(templatePath(), pageTemplate));
    MainFormFixture f;
    f.service.setReply("GetSettings", MainFormFixture::settingsReply(
                                          MainFormFixture::defaultValues(), status.mid(0, 3)));
    f.service.setReply("UpdateStatus",
                       MainFormFixture::statusReply(status[0], status[1], status[2]));
    f.service.setReply(service::GetKeyedStatus,
                       MainFormFixture::keyedStatusReply(status[0], status[1], status[2],
                                                         status.value(3), status.value(4)));
    Login login;
    login.host = host;
    createOnFtpPage(f, ftpServer->port(), ftpServer, login);

    f.ui().btnUploadTestPage->click();

    QCOMPARE(f.dialogs.errors(), QStringList());
    QCOMPARE(f.dialogs.notices(), successNotices(host));
    QCOMPARE(readFile(QDir(ftpServer->homePath()).filePath(PageName)), page);
    // The template is filled where it stands.
    QCOMPARE(readFile(templatePath()), page);
}

void TestFtpPage::failuresAreNoticedAfterTheStatusesReached_data()
{
    QTest::addColumn<QString>("serverName"); // empty: nothing listens on the port
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("user");     // empty: the server's writing account
    QTest::addColumn<QString>("password"); // empty: the account's password
    QTest::addColumn<QStringList>("statuses");
    QTest::addColumn<QString>("message"); // <port> stands for the port used

    const QString address = QStringLiteral("127.0.0.1");
    const QStringList loginRefused{Connecting, Connected, Disconnecting, Disconnected};
    QTest::newRow("pyftpdlib: wrong password")
        << "pyftpdlib" << address << ""
        << "wrong" << loginRefused << "Authentication failed.";
    QTest::newRow("vsftpd: wrong password") << "vsftpd" << address << ""
                                            << "wrong" << loginRefused << "Login incorrect.";
    // The password goes as typed: a trailing blank is part of it.
    QTest::newRow("password not trimmed")
        << "pyftpdlib" << address << ""
        << "page-upload-secret " << loginRefused << "Authentication failed.";
    QTest::newRow("upload refused")
        << "pyftpdlib" << address << "reader"
        << "reader-secret"
        << QStringList{Connecting, Connected, Established, Starting, Disconnecting, Disconnected}
        << "Not enough privileges.";
    // A connection that never stood is not ended.
    QTest::newRow("connection refused")
        << "" << address << "velmora"
        << "secret" << QStringList{Connecting}
        << "Cannot connect to the FTP server 127.0.0.1 on port <port>: Connection refused.";
    QTest::newRow("host name that cannot be resolved")
        << ""
        << "ftp..example"
        << "velmora"
        << "secret" << QStringList{QStringLiteral("Resolving hostname ftp..example.")}
        << "Cannot find the FTP server \"ftp..example\": Invalid hostname.";
}

void TestFtpPage::failuresAreNoticedAfterTheStatusesReached()
{
    QFETCH(QString, serverName);
    QFETCH(QString, host);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QStringList, statuses);
    QFETCH(QString, message);
    FtpTestServer* ftpServer = nullptr;
    quint16 port = testservers::freePort();
    if (!serverName.isEmpty()) {
        ftpServer = m_servers.byName(serverName);
        if (!ftpServer)
            QSKIP(qPrintable(m_servers.vsftpdSkipReason()));
        port = ftpServer->port();
    }
    QVERIFY(writeFile(templatePath(), PageTemplate));
    MainFormFixture f;
    createOnFtpPage(f, port, ftpServer, Login{host, user, password});

    f.ui().btnUploadTestPage->click();

    QCOMPARE(f.dialogs.errors(), QStringList());
    QCOMPARE(f.dialogs.notices(),
             statuses << message.replace(QLatin1String("<port>"), QString::number(port)));
    if (ftpServer)
        QVERIFY(!QFile::exists(QDir(ftpServer->homePath()).filePath(PageName)));
}

void TestFtpPage::templateThatCannotBeFilledGoesToTheErrorBox_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("error"); // <path> stands for the template's full path
    QTest::newRow("missing") << "missing"
                             << "Cannot open file \"<path>\". No such file or directory.";
    QTest::newRow("read-only") << "read-only"
                               << "Cannot create file \"<path>\". Permission denied.";
    // Not even root may write to the file of a running program.
    QTest::newRow("busy") << "busy"
                          << "Cannot create file \"<path>\". Text file busy.";
}

void TestFtpPage::templateThatCannotBeFilledGoesToTheErrorBox()
{
    QFETCH(QString, state);
    QFETCH(QString, error);
    QByteArray content;
    QProcess running;
    if (state == QLatin1String("read-only")) {
        if (geteuid() == 0)
            QSKIP("root may write to read-only files; the busy row covers root");
        QVERIFY(writeFile(templatePath(), PageTemplate));
        QVERIFY(QFile::setPermissions(templatePath(),
                                      QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    } else if (state == QLatin1String("busy")) {
        QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), templatePath()));
        QVERIFY(QFile::setPermissions(templatePath(),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        running.start(templatePath(), {QStringLiteral("60")});
        if (!running.waitForStarted(testtime::scaled(5000)))
            QSKIP("cannot run a program from the temporary folder (mounted noexec?)");
        const int probe = ::open(QFile::encodeName(templatePath()).constData(), O_WRONLY);
        if (probe >= 0) {
            ::close(probe);
            running.kill();
            running.waitForFinished(testtime::scaled(5000));
            QSKIP("this system lets the file of a running program be written");
        }
    }
    if (QFile::exists(templatePath()))
        content = readFile(templatePath());
    // Whatever listens here must never hear from the page.
    QTcpServer listener;
    QVERIFY(listener.listen(QHostAddress::LocalHost));
    MainFormFixture f;
    createOnFtpPage(f, listener.serverPort(), &m_servers.python());

    f.ui().btnUploadTestPage->click();
    running.kill();
    running.waitForFinished(testtime::scaled(5000));

    QCOMPARE(f.dialogs.errors(),
             QStringList{error.replace(QLatin1String("<path>"), templatePath())});
    QCOMPARE(f.dialogs.notices(), QStringList());
    QVERIFY(!listener.waitForNewConnection(0));
    if (content.isEmpty())
        QVERIFY(!QFile::exists(templatePath()));
    else
        QVERIFY(readFile(templatePath()) == content);
}

void TestFtpPage::testAfterAFailureConnectsAfresh()
{
    QVERIFY(writeFile(templatePath(), PageTemplate));
    MainFormFixture f;
    createOnFtpPage(f, m_servers.python().port(), &m_servers.python(),
                    Login{QStringLiteral("127.0.0.1"), {}, "wrong"});
    f.ui().btnUploadTestPage->click();
    QCOMPARE(f.dialogs.notices().last(), QStringLiteral("Authentication failed."));

    f.dialogs.clear();
    f.ui().txtFTPPassword->setText(m_servers.python().password());
    f.ui().btnUploadTestPage->click();

    QCOMPARE(f.dialogs.errors(), QStringList());
    QCOMPARE(f.dialogs.notices(), successNotices());
    QCOMPARE(readFile(QDir(m_servers.python().homePath()).filePath(PageName)), FilledPage);
}

void TestFtpPage::fileNameAndRootFieldsAreIgnored()
{
    QVERIFY(writeFile(templatePath(), PageTemplate));
    QVERIFY(writeFile(QDir(m_folder->path()).filePath(QStringLiteral("index.html")), "other"));
    QVERIFY(QDir(m_servers.python().homePath()).mkdir(QStringLiteral("pages")));
    MainFormFixture f;
    createOnFtpPage(f, m_servers.python().port(), &m_servers.python());
    f.ui().Edit1->setText(QStringLiteral("index.html"));
    f.ui().Edit2->setText(QStringLiteral("/pages/"));

    f.ui().btnUploadTestPage->click();

    QCOMPARE(f.dialogs.notices(), successNotices());
    QCOMPARE(QDir(m_servers.python().homePath()).entryList(QDir::Files), QStringList{PageName});
    QCOMPARE(readFile(QDir(m_servers.python().homePath()).filePath(PageName)), FilledPage);
    QVERIFY(QDir(m_servers.python().homePath()).rmdir(QStringLiteral("pages")));
}

void TestFtpPage::templateIsTakenFromTheFolderOfTheChosenProgram()
{
    // The folder current at start holds a template too; the chosen program's wins.
    QVERIFY(writeFile(templatePath(), "<p>start folder</p>"));
    QDir folder(m_folder->path());
    QVERIFY(folder.mkdir(QStringLiteral("tools")));
    QVERIFY(writeFile(folder.filePath(QStringLiteral("tools/alert.sh")), "#!/bin/sh\n"));
    QVERIFY(writeFile(folder.filePath(QStringLiteral("tools/velmora.html")),
                      "<p>[[ComputerName]]</p>"));
    MainFormFixture f;
    f.dialogs.files = {folder.filePath(QStringLiteral("tools/alert.sh"))};
    createOnFtpPage(f, m_servers.python().port(), &m_servers.python());

    f.ui().btnSelectProgram->click();
    f.ui().btnUploadTestPage->click();

    QCOMPARE(f.dialogs.notices(), successNotices());
    QCOMPARE(readFile(QDir(m_servers.python().homePath()).filePath(PageName)),
             QByteArray("<p>pc-1</p>"));
    QCOMPARE(readFile(templatePath()), QByteArray("<p>start folder</p>"));
}

void TestFtpPage::uploadsOnTheStandardPort()
{
    // The window as the program makes it: no port is set, so 21 is used.
    if (!testservers::canBindLowPorts())
        QSKIP("serving on port 21 needs root");
    {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 21))
            QSKIP(qPrintable(QStringLiteral("port 21 on 127.0.0.1 is taken: ") +
                             probe.errorString()));
    }
    QTemporaryDir home;
    QVERIFY(home.isValid());
    testservers::ServerProcess ftpServer;
    QVERIFY2(ftpServer.start(QStringLiteral("/usr/bin/python3"),
                             {testservers::ServerProcess::script(QStringLiteral("ftp_server.py")),
                              QStringLiteral("--port"), QStringLiteral("21"),
                              QStringLiteral("--home"), home.path(), QStringLiteral("--user"),
                              QStringLiteral("velmora:standard-port-secret")},
                             21),
             qPrintable(ftpServer.errorText()));
    QVERIFY(writeFile(templatePath(), PageTemplate));
    MainFormFixture f;
    f.create();
    f.ui().txtFTPHost->setText(QStringLiteral("localhost"));
    f.ui().txtFTPUsername->setText(QStringLiteral("velmora"));
    f.ui().txtFTPPassword->setText(QStringLiteral("standard-port-secret"));

    f.ui().btnUploadTestPage->click();

    QCOMPARE(f.dialogs.errors(), QStringList());
    QCOMPARE(f.dialogs.notices(), successNotices(QStringLiteral("localhost")));
    QCOMPARE(readFile(QDir(home.path()).filePath(PageName)), FilledPage);
}

QTEST_MAIN(TestFtpPage)
#include "tst_ftp_page.moc"
