#include "net/FtpClient.h"
#include "net/FtpErrors.h"
#include "servers/FreePort.h"
#include "servers/FtpServerPair.h"
#include "support/TestFiles.h"
#include "support/TestTime.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <thread>

using namespace std::chrono_literals;
using testfiles::readFile;
using testservers::FtpPythonServer;
using testservers::FtpServerPair;
using testservers::FtpTestServer;

namespace {

const QString RemoteName = QStringLiteral("velmora.html");

// The exception's class as a word, so that tables can name the expected one.
QString kindOf(const std::exception& error)
{
    if (dynamic_cast<const FtpHostNotFoundError*>(&error))
        return QStringLiteral("host not found");
    if (dynamic_cast<const FtpConnectionError*>(&error))
        return QStringLiteral("connection");
    if (dynamic_cast<const FtpTimeoutError*>(&error))
        return QStringLiteral("timeout");
    if (dynamic_cast<const FtpLoginError*>(&error))
        return QStringLiteral("login");
    if (dynamic_cast<const FtpStoreError*>(&error))
        return QStringLiteral("store");
    if (dynamic_cast<const FtpDataConnectionError*>(&error))
        return QStringLiteral("data connection");
    if (dynamic_cast<const FtpError*>(&error))
        return QStringLiteral("ftp");
    return QStringLiteral("other");
}

struct Outcome
{
    QStringList statuses;
    QString errorKind; // empty on success
    QString errorMessage;
};

Outcome uploadWith(FtpClient& client, const QString& localFile)
{
    Outcome outcome;
    client.setStatusHandler([&outcome](const QString& status) { outcome.statuses << status; });
    try {
        client.connectAndUpload(localFile, RemoteName);
    } catch (const std::exception& error) {
        outcome.errorKind = kindOf(error);
        outcome.errorMessage = QString::fromStdString(error.what());
    }
    client.setStatusHandler({});
    return outcome;
}

QStringList successStatuses(const QString& host)
{
    QStringList statuses;
    if (host == QLatin1String("localhost"))
        statuses << QStringLiteral("Resolving hostname localhost.");
    statuses << QStringLiteral("Connecting to 127.0.0.1.") << QStringLiteral("Connected.")
             << QStringLiteral("Connection established") << QStringLiteral("Starting FTP transfer")
             << QStringLiteral("Transfer complete") << QStringLiteral("Disconnecting.")
             << QStringLiteral("Disconnected.");
    return statuses;
}

QByteArray pseudoRandomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(20240611);
    for (char& byte : bytes)
        byte = char(generator.bounded(256));
    return bytes;
}

} // namespace

class TestFtpClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void uploadStoresTheBytesUnchanged_data();
    void uploadStoresTheBytesUnchanged();
    void secondUploadReplacesTheFile_data();
    void secondUploadReplacesTheFile();
    void statusesOfASuccessfulUpload_data();
    void statusesOfASuccessfulUpload();
    void commandsGoInTheirOrderInActiveMode();
    void failureReportsStatusesThenError_data();
    void failureReportsStatusesThenError();
    void serverThatNeverAnswersEndsWithinTheTimeLimit();
    void dataConnectionThatNeverComesFails();
    void uploadCutShortByTheServerIsReportedAborted();
    void connectsAfreshAfterAFailure();
    void uploadsFromAThreadWithoutEventLoop();

private:
    static void addServerColumn();
    static void addRowsForEachServer(const char* name, const std::function<void(QTestData&)>& fill);
    static void configure(FtpClient& client, const FtpTestServer& server,
                          const QString& host = QStringLiteral("127.0.0.1"));
    QString writeLocalFile(const QByteArray& content);

    QTemporaryDir m_localFolder;
    // A multi-line greeting on the main server: every test reads one.
    FtpServerPair m_servers{FtpPythonServer::Options{
        QStringLiteral("normal"),
        QStringLiteral("Welcome to the test server of the page upload.\\nUploads replace the file "
                       "of the same name.")}};
};

void TestFtpClient::initTestCase()
{
    QVERIFY(m_localFolder.isValid());
    QVERIFY2(m_servers.start(), qPrintable(m_servers.errorText()));
}

void TestFtpClient::init()
{
    m_servers.removeFromEach(RemoteName);
}

void TestFtpClient::addServerColumn()
{
    QTest::addColumn<QString>("serverName");
}

void TestFtpClient::addRowsForEachServer(const char* name,
                                         const std::function<void(QTestData&)>& fill)
{
    for (const char* serverName : {"pyftpdlib", "vsftpd"}) {
        QTestData& row = QTest::addRow("%s: %s", serverName, name)
                         << QString::fromLatin1(serverName);
        fill(row);
    }
}

void TestFtpClient::configure(FtpClient& client, const FtpTestServer& server, const QString& host)
{
    client.setHost(host);
    client.setPort(server.port());
    client.setUsername(server.userName());
    client.setPassword(server.password());
    client.setReplyTimeLimit(10s);
}

QString TestFtpClient::writeLocalFile(const QByteArray& content)
{
    const QString fileName = m_localFolder.filePath(
        QStringLiteral("page-%1.html").arg(QRandomGenerator::global()->generate()));
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(fileName));
    return fileName;
}

void TestFtpClient::uploadStoresTheBytesUnchanged_data()
{
    addServerColumn();
    QTest::addColumn<QByteArray>("content");
    const QByteArray page = "<html>\r\n<body>Public: 203.0.113.7\nLocal: 192.168.1.20</body>\r\n"
                            "</html>\n";
    QByteArray everyByte;
    for (int round = 0; round < 4; ++round)
        for (int value = 0; value < 256; ++value)
            everyByte.append(char(value));
    addRowsForEachServer("page with mixed line ends", [&](QTestData& row) { row << page; });
    addRowsForEachServer("every byte value", [&](QTestData& row) { row << everyByte; });
    addRowsForEachServer("empty file", [&](QTestData& row) { row << QByteArray(); });
    // Many chunks, more than the sockets buffer at once.
    addRowsForEachServer("3 MiB", [&](QTestData& row) { row << pseudoRandomBytes(3 << 20); });
}

void TestFtpClient::uploadStoresTheBytesUnchanged()
{
    QFETCH(QString, serverName);
    QFETCH(QByteArray, content);
    FtpTestServer* const ftpServer = m_servers.byName(serverName);
    if (!ftpServer)
        QSKIP(qPrintable(m_servers.vsftpdSkipReason()));

    FtpClient client;
    configure(client, *ftpServer);
    const Outcome outcome = uploadWith(client, writeLocalFile(content));

    QCOMPARE(outcome.errorMessage, QString());
    QVERIFY(readFile(QDir(ftpServer->homePath()).filePath(RemoteName)) == content);
}

void TestFtpClient::secondUploadReplacesTheFile_data()
{
    addServerColumn();
    addRowsForEachServer("shorter second version", [](QTestData&) {});
}

void TestFtpClient::secondUploadReplacesTheFile()
{
    QFETCH(QString, serverName);
    FtpTestServer* const ftpServer = m_servers.byName(serverName);
    if (!ftpServer)
        QSKIP(qPrintable(m_servers.vsftpdSkipReason()));
    FtpClient client;
    configure(client, *ftpServer);

    QCOMPARE(uploadWith(client, writeLocalFile("first version, the longer one")).errorMessage,
             QString());
    QCOMPARE(uploadWith(client, writeLocalFile("second")).errorMessage, QString());

    QCOMPARE(readFile(QDir(ftpServer->homePath()).filePath(RemoteName)), QByteArray("second"));
}

void TestFtpClient::statusesOfASuccessfulUpload_data()
{
    addServerColumn();
    QTest::addColumn<QString>("host");
    // Only a name is looked up and reported as such.
    addRowsForEachServer("IPv4 address",
                         [](QTestData& row) { row << QStringLiteral("127.0.0.1"); });
    addRowsForEachServer("host name", [](QTestData& row) { row << QStringLiteral("localhost"); });
}

void TestFtpClient::statusesOfASuccessfulUpload()
{
    QFETCH(QString, serverName);
    QFETCH(QString, host);
    FtpTestServer* const ftpServer = m_servers.byName(serverName);
    if (!ftpServer)
        QSKIP(qPrintable(m_servers.vsftpdSkipReason()));
    FtpClient client;
    configure(client, *ftpServer, host);

    const Outcome outcome = uploadWith(client, writeLocalFile("<p>page</p>"));

    QCOMPARE(outcome.errorMessage, QString());
    QCOMPARE(outcome.statuses, successStatuses(host));
    QVERIFY(!client.isConnected());
}

void TestFtpClient::commandsGoInTheirOrderInActiveMode()
{
    FtpPythonServer python;
    QVERIFY2(python.start(), qPrintable(python.errorText()));
    FtpClient client;
    configure(client, python);

    QCOMPARE(uploadWith(client, writeLocalFile("<p>page</p>")).errorMessage, QString());

    QStringList commands = python.receivedCommands();
    QCOMPARE(commands.size(), 8);
    QVERIFY2(commands[5].startsWith(QLatin1String("PORT 127,0,0,1,")), qPrintable(commands[5]));
    commands[5] = QStringLiteral("PORT");
    QCOMPARE(commands, QStringList({QStringLiteral("USER velmora"), QStringLiteral("PASS ******"),
                                    QStringLiteral("FEAT"), QStringLiteral("SYST"),
                                    QStringLiteral("TYPE I"), QStringLiteral("PORT"),
                                    QStringLiteral("STOR velmora.html"), QStringLiteral("QUIT")}));
}

void TestFtpClient::failureReportsStatusesThenError_data()
{
    QTest::addColumn<QString>("serverName"); // empty: nothing listens on the port
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("user");      // empty: the server's writing account
    QTest::addColumn<QString>("password");  // empty: the account's password
    QTest::addColumn<QString>("localFile"); // empty: an existing page
    QTest::addColumn<QStringList>("statuses");
    QTest::addColumn<QString>("errorKind");
    QTest::addColumn<QString>("errorMessage"); // with <port> and <folder> filled in

    const QString connecting = QStringLiteral("Connecting to 127.0.0.1.");
    const QString connected = QStringLiteral("Connected.");
    const QString established = QStringLiteral("Connection established");
    const QString starting = QStringLiteral("Starting FTP transfer");
    const QString disconnecting = QStringLiteral("Disconnecting.");
    const QString disconnected = QStringLiteral("Disconnected.");
    const QString localhost = QStringLiteral("127.0.0.1");

    // The server's own reply text is the message for a refusal.
    QTest::newRow("pyftpdlib: wrong password")
        << "pyftpdlib" << localhost << ""
        << "wrong"
        << "" << QStringList{connecting, connected, disconnecting, disconnected} << "login"
        << "Authentication failed.";
    QTest::newRow("vsftpd: wrong password")
        << "vsftpd" << localhost << ""
        << "wrong"
        << "" << QStringList{connecting, connected, disconnecting, disconnected} << "login"
        << "Login incorrect.";
    QTest::newRow("upload refused")
        << "pyftpdlib" << localhost << "reader"
        << "reader-secret"
        << ""
        << QStringList{connecting, connected, established, starting, disconnecting, disconnected}
        << "store"
        << "Not enough privileges.";
    QTest::newRow("local page missing")
        << "pyftpdlib" << localhost << ""
        << ""
        << "missing.html"
        << QStringList{connecting, connected, established, disconnecting, disconnected} << "other"
        << "Cannot open file \"<folder>/missing.html\". No such file or directory";
    // A failed connection leaves nothing open, so nothing is disconnected.
    QTest::newRow("connection refused")
        << "" << localhost << ""
        << ""
        << "" << QStringList{connecting} << "connection"
        << "Cannot connect to the FTP server 127.0.0.1 on port <port>: Connection refused.";
    QTest::newRow("connection refused, host by name")
        << ""
        << "localhost"
        << ""
        << ""
        << "" << QStringList{QStringLiteral("Resolving hostname localhost."), connecting}
        << "connection"
        << "Cannot connect to the FTP server 127.0.0.1 on port <port>: Connection refused.";
    // Refused by the resolver itself, so no name server is asked.
    QTest::newRow("host name that cannot be resolved")
        << ""
        << "ftp..example"
        << ""
        << ""
        << "" << QStringList{QStringLiteral("Resolving hostname ftp..example.")} << "host not found"
        << "Cannot find the FTP server \"ftp..example\": Invalid hostname.";
    // A line break would let a value send a command of its own.
    QTest::newRow("line break in the user name")
        << "pyftpdlib" << localhost << "velmora\r\nDELE velmora.html"
        << ""
        << "" << QStringList{} << "ftp"
        << "The FTP user name must not contain a line break.";
}

void TestFtpClient::failureReportsStatusesThenError()
{
    QFETCH(QString, serverName);
    QFETCH(QString, host);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, localFile);
    QFETCH(QStringList, statuses);
    QFETCH(QString, errorKind);
    QFETCH(QString, errorMessage);

    FtpClient client;
    client.setHost(host);
    quint16 port = testservers::freePort();
    if (!serverName.isEmpty()) {
        FtpTestServer* const ftpServer = m_servers.byName(serverName);
        if (!ftpServer)
            QSKIP(qPrintable(m_servers.vsftpdSkipReason()));
        configure(client, *ftpServer, host);
        port = ftpServer->port();
    }
    client.setPort(port);
    if (!user.isEmpty())
        client.setUsername(user);
    if (!password.isEmpty())
        client.setPassword(password);
    const QString localPath =
        localFile.isEmpty() ? writeLocalFile("<p>page</p>") : m_localFolder.filePath(localFile);

    const Outcome outcome = uploadWith(client, localPath);

    QCOMPARE(outcome.statuses, statuses);
    QCOMPARE(outcome.errorKind, errorKind);
    QCOMPARE(outcome.errorMessage,
             errorMessage.replace(QLatin1String("<port>"), QString::number(port))
                 .replace(QLatin1String("<folder>"), m_localFolder.path()));
    QVERIFY(!client.isConnected());
}

void TestFtpClient::serverThatNeverAnswersEndsWithinTheTimeLimit()
{
    // No FTP server keeps silent after accepting; a listener that never takes
    // the connection does (the system completes the handshake for it).
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    FtpClient client;
    client.setHost(QStringLiteral("127.0.0.1"));
    client.setPort(silent.serverPort());
    client.setReplyTimeLimit(300ms);

    QElapsedTimer elapsed;
    elapsed.start();
    const Outcome outcome = uploadWith(client, writeLocalFile("<p>page</p>"));

    QCOMPARE(outcome.statuses,
             QStringList({QStringLiteral("Connecting to 127.0.0.1."), QStringLiteral("Connected."),
                          QStringLiteral("Disconnecting."), QStringLiteral("Disconnected.")}));
    QCOMPARE(outcome.errorKind, QStringLiteral("timeout"));
    QCOMPARE(outcome.errorMessage,
             QStringLiteral("No reply from the FTP server within 0.3 seconds."));
    // Ending at all is the point; the margin only keeps a busy machine from failing it.
    QVERIFY2(elapsed.elapsed() < testtime::scaled(10000),
             qPrintable(QString::number(elapsed.elapsed())));
}

void TestFtpClient::dataConnectionThatNeverComesFails()
{
    FtpPythonServer firewalled({QStringLiteral("no-data-connection"), {}});
    QVERIFY2(firewalled.start(), qPrintable(firewalled.errorText()));
    FtpClient client;
    configure(client, firewalled);
    client.setReplyTimeLimit(1s);

    const Outcome outcome = uploadWith(client, writeLocalFile("<p>page</p>"));

    QCOMPARE(outcome.statuses,
             QStringList({QStringLiteral("Connecting to 127.0.0.1."), QStringLiteral("Connected."),
                          QStringLiteral("Connection established"),
                          QStringLiteral("Starting FTP transfer"), QStringLiteral("Disconnecting."),
                          QStringLiteral("Disconnected.")}));
    QCOMPARE(outcome.errorKind, QStringLiteral("data connection"));
    QCOMPARE(outcome.errorMessage,
             QStringLiteral("The FTP server did not open the data connection within 1 seconds. A "
                            "router or firewall may block connections to this computer."));
}

void TestFtpClient::uploadCutShortByTheServerIsReportedAborted()
{
    FtpPythonServer quota({QStringLiteral("abort-after:65536"), {}});
    QVERIFY2(quota.start(), qPrintable(quota.errorText()));
    FtpClient client;
    configure(client, quota);

    // Far more than the sockets can buffer, so the cut reaches the sender.
    const Outcome outcome = uploadWith(client, writeLocalFile(pseudoRandomBytes(32 << 20)));

    QCOMPARE(
        outcome.statuses,
        QStringList({QStringLiteral("Connecting to 127.0.0.1."), QStringLiteral("Connected."),
                     QStringLiteral("Connection established"),
                     QStringLiteral("Starting FTP transfer"), QStringLiteral("Transfer aborted"),
                     QStringLiteral("Disconnecting."), QStringLiteral("Disconnected.")}));
    QCOMPARE(outcome.errorKind, QStringLiteral("store"));
    QCOMPARE(outcome.errorMessage,
             QStringLiteral("Requested file action aborted: quota exceeded."));
}

void TestFtpClient::connectsAfreshAfterAFailure()
{
    FtpClient client;
    configure(client, m_servers.python());
    client.setPassword(QStringLiteral("wrong"));
    QCOMPARE(uploadWith(client, writeLocalFile("x")).errorKind, QStringLiteral("login"));

    client.setPassword(m_servers.python().password());
    const Outcome outcome = uploadWith(client, writeLocalFile("after the failure"));

    QCOMPARE(outcome.errorMessage, QString());
    QCOMPARE(outcome.statuses, successStatuses(QStringLiteral("127.0.0.1")));
    QCOMPARE(readFile(QDir(m_servers.python().homePath()).filePath(RemoteName)),
             QByteArray("after the failure"));
}

void TestFtpClient::uploadsFromAThreadWithoutEventLoop()
{
    // The service uploads from a plain worker thread; no Qt warning about
    // socket notifiers or event loops may come up.
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    const QString localFile = writeLocalFile("from a worker thread");
    Outcome outcome;
    std::thread worker([&] {
        FtpClient client;
        configure(client, m_servers.python(), QStringLiteral("localhost"));
        outcome = uploadWith(client, localFile);
    });
    worker.join();

    QCOMPARE(outcome.errorMessage, QString());
    QCOMPARE(outcome.statuses, successStatuses(QStringLiteral("localhost")));
    QCOMPARE(readFile(QDir(m_servers.python().homePath()).filePath(RemoteName)),
             QByteArray("from a worker thread"));
}

QTEST_GUILESS_MAIN(TestFtpClient)
#include "tst_ftpclient.moc"
