// The window and the real service on one history log: the service writes it in
// the user's state folder, and the window, given the path the program gives it,
// shows and clears that same file.
#include "MainFormFixture.h"
#include "support/EchoHttpServer.h"
#include "support/RunningService.h"

#include "common/VelmoraPaths.h"
#include "service_link/ServiceCommands.h"
#include "support/TestTime.h"
#include "toolkit/SidePager.h"
#include "ui_MainForm.h"

#include <QFile>
#include <QTableView>
#include <QtTest>

class TestHistoryFromService : public QObject
{
    Q_OBJECT
private slots:
    void windowShowsAndClearsTheServicesLog();
};

void TestHistoryFromService::windowShowsAndClearsTheServicesLog()
{
    EchoHttpServer echo;
    echo.setAddress("203.0.113.7");
    RunningService service;
    QVERIFY(service.useDefaultLogFile());
    QVERIFY2(
        service.start({echo.url()}, {QStringLiteral("--echo-interval"), QStringLiteral("0.2")}),
        qPrintable(service.errorText()));
    QTRY_COMPARE(service.request(service::UpdateStatus).value(service::PublicIpLine),
                 QByteArray("203.0.113.7"));
    echo.setAddress("198.51.100.23");
    QTRY_COMPARE(service.historyLines().size(), 1);

    // This process is the window of the service's user.
    qputenv("XDG_STATE_HOME", service.stateHome().toLocal8Bit());
    MainFormFixture window;
    window.adjustContext = [&service](MainFormContext& context) {
        context.servicePort = service.port();
        context.logFilePath = velmorapaths::historyLog(); // as the program sets it
    };
    window.create();
    window.form().show();
    window.form().pager().setCurrentIndex(TFormMain::LogPage);
    const QAbstractItemModel& list = *window.ui().lvLog->model();
    const auto cell = [&list](int row, int column) {
        return list.index(row, column).data().toString();
    };
    QCOMPARE(list.rowCount(), 1);
    QCOMPARE(cell(0, 1), QStringLiteral("198.51.100.23"));
    // Every field of the line has its column (fields 4 and 5 where the computer has IPv6).
    QStringList cells;
    for (int column = 0; column < list.columnCount(); ++column)
        cells << cell(0, column);
    QCOMPARE(cells.join(u',').toLatin1() + '\r', service.historyLines().first());

    QTest::mouseClick(window.ui().btnClearLog, Qt::LeftButton);
    QVERIFY(!QFile::exists(service.logFile()));
    // The service's next line starts the log again, where the window looks.
    echo.setAddress("192.0.2.99");
    QTRY_COMPARE(service.historyLines().size(), 1);
    window.form().pager().setCurrentIndex(TFormMain::EmailPage);
    window.form().pager().setCurrentIndex(TFormMain::LogPage);
    QCOMPARE(list.rowCount(), 1);
    QCOMPARE(cell(0, 1), QStringLiteral("192.0.2.99"));
}

QTEST_MAIN(TestHistoryFromService)
#include "tst_history_from_service.moc"
