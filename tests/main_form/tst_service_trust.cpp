// What the window sends to the service and whom it sends it to.
#include "MainFormFixture.h"
#include "common/AlertSettings.h"
#include "support/TestTime.h"
#include "support/ThrowawayUser.h"
#include "ui_MainForm.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>

namespace {

const QString CouldNotConnect = QStringLiteral("Could not connect to the Velmora Service \r\n"
                                               "component.  Please try to restart your \r\n"
                                               "computer.  If the problem persists reinstall \r\n"
                                               "the software or contact support.");

// Listens on 127.0.0.1 (a free port), prints it, then for each connection the
// number of bytes received until the client closed; stops when stdin closes.
const char* const RecordingListener = R"(
import select, socket, sys
server = socket.socket()
server.bind(("127.0.0.1", 0))
server.listen(16)
print(server.getsockname()[1], flush=True)
while True:
    ready, _, _ = select.select([server, sys.stdin], [], [], 30)
    if not ready or sys.stdin in ready:
        break
    connection, _ = server.accept()
    connection.settimeout(5)
    received = 0
    try:
        while True:
            chunk = connection.recv(65536)
            if not chunk:
                break
            received += len(chunk)
    except OSError:
        pass
    connection.close()
    print("received", received, flush=True)
)";

} // namespace

class TestServiceTrust : public QObject
{
    Q_OBJECT
private slots:
    void applyDoesNotWaitForAServiceThatReadsToTheEnd();
    void strangersListenerGetsNothing();
    void bytesThatAreNotUtf8SurviveASave();
};

void TestServiceTrust::applyDoesNotWaitForAServiceThatReadsToTheEnd()
{
    MainFormFixture f;
    f.create().show();
    // From here on the service reads each request to its end before it closes.
    f.service.setWaitsForClientEnd(true);
    f.ui().txtSMTP->setText(QStringLiteral("smtp.example.org"));
    QElapsedTimer clock;
    clock.start();
    f.ui().btnApply->click();
    // The save waits, within its time limit, for the service to close; this
    // service closes as soon as the window has said that nothing more will come,
    // which takes a loopback round trip, not a wait for any time limit.
    QVERIFY2(clock.elapsed() < testtime::scaled(1000),
             qPrintable(QString::number(clock.elapsed())));
    const QList<QList<QByteArray>> saved = f.waitForSavedLists(1);
    QCOMPARE(saved.size(), 1);
    QCOMPARE(saved.first().at(1 + settingtable::wireIndex(Setting::SmtpServer)),
             QByteArray("smtp.example.org"));
}

void TestServiceTrust::strangersListenerGetsNothing()
{
    ThrowawayUser stranger;
    if (!stranger.isValid())
        QSKIP(qPrintable(QStringLiteral("needs another user: %1").arg(stranger.errorText())));
    QProcess listener;
    listener.setProgram(stranger.runAs().first());
    listener.setArguments(stranger.runAs().mid(1)
                          << QStringLiteral("/usr/bin/python3") << QStringLiteral("-c")
                          << QString::fromLatin1(RecordingListener));
    listener.start();
    QVERIFY(listener.waitForStarted(testtime::scaled(10000)));
    QTRY_VERIFY_WITH_TIMEOUT(listener.canReadLine(), testtime::scaled(10000));
    const quint16 port = quint16(listener.readLine().trimmed().toUInt());
    QVERIFY(port != 0);

    MainFormFixture f;
    f.adjustContext = [port](MainFormContext& context) { context.servicePort = port; };
    f.create().show();
    QCOMPARE(f.dialogs.notices(), QStringList{CouldNotConnect});
    f.ui().txtSMTP->setText(QStringLiteral("smtp.example.org"));
    f.ui().txtSMTPPassword->setText(QStringLiteral("secret"));
    f.ui().btnApply->click();

    // The window did connect (the stranger saw each connection) but sent nothing.
    QTRY_VERIFY_WITH_TIMEOUT(listener.bytesAvailable() > 0, testtime::scaled(10000));
    listener.closeWriteChannel();
    QVERIFY(listener.waitForFinished(testtime::scaled(15000)));
    const QList<QByteArray> lines = listener.readAllStandardOutput().trimmed().split('\n');
    QVERIFY(!lines.isEmpty());
    for (const QByteArray& line : lines)
        QCOMPARE(line, QByteArray("received 0"));
}

void TestServiceTrust::bytesThatAreNotUtf8SurviveASave()
{
    MainFormFixture f;
    QList<QByteArray> values = MainFormFixture::defaultValues();
    QByteArray everyHighByte;
    for (int b = 0x80; b < 0x100; ++b)
        everyHighByte.append(char(b));
    values[settingtable::wireIndex(Setting::SmtpPassword)] = "p\xe9ss";
    values[settingtable::wireIndex(Setting::FtpPassword)] = everyHighByte;
    values[settingtable::wireIndex(Setting::Program)] = "/opt/caf\xc3\xa9/run \xff";
    f.setValues(values);
    f.create().show();
    // Another field is edited; the others go back as they came.
    f.ui().txtSMTP->setText(QStringLiteral("smtp.example.org"));
    f.ui().btnApply->click();
    const QList<QList<QByteArray>> saved = f.waitForSavedLists(1);
    QCOMPARE(saved.size(), 1);
    const QList<QByteArray> sent = saved.first().mid(1);
    values[settingtable::wireIndex(Setting::SmtpServer)] = "smtp.example.org";
    QCOMPARE(sent, values);
}

QTEST_MAIN(TestServiceTrust)
#include "tst_service_trust.moc"
