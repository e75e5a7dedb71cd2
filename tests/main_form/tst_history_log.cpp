#include "HistoryLogWindow.h"
#include "main_form/HistoryLogModel.h"
#include "main_form/ListViewReport.h"
#include "support/TestFiles.h"
#include "support/TestTime.h"
#include "toolkit/SidePager.h"
#include "ui_MainForm.h"

#include <QAccessible>
#include <QDir>
#include <QFile>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTableView>
#include <QTreeWidget>
#include <QtTest>

using testfiles::readFile;
using testfiles::writeFile;

namespace {

// Another process holding the log as the service does while it appends a line:
// open, with an exclusive lock. It lets go when its input closes.
class LockHolder
{
public:
    explicit LockHolder(const QString& path)
    {
        m_process.start(QStringLiteral("flock"),
                        {QStringLiteral("--exclusive"), path, QStringLiteral("sh"),
                         QStringLiteral("-c"), QStringLiteral("echo locked; exec cat")});
    }
    ~LockHolder() { release(); }
    bool waitUntilLocked()
    {
        return m_process.waitForReadyRead(testtime::scaled(10000)) &&
               m_process.readLine() == "locked\n";
    }
    void release()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(testtime::scaled(10000))) {
            m_process.kill();
            m_process.waitForFinished(testtime::scaled(5000));
        }
    }

private:
    QProcess m_process;
};

QString pdfText(const QString& fileName)
{
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {fileName, QStringLiteral("-")});
    if (!process.waitForFinished(testtime::scaled(30000))) {
        process.kill();
        process.waitForFinished(testtime::scaled(5000));
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput()).replace(QChar(0xFB01), "fi");
}

} // namespace

class TestHistoryLog : public QObject
{
    Q_OBJECT

private slots:
    void fileShownAsRows_data();
    void fileShownAsRows();
    void ipv6ColumnsOnlyWhenALineHasThem_data();
    void ipv6ColumnsOnlyWhenALineHasThem();
    void notReadAtStartUpNorWhileShown();
    void keptRowsWhenNoFile_data();
    void keptRowsWhenNoFile();
    void firstVisitWithoutFile();
    void clearEmptiesListAndDeletesFile();
    void clearWithoutFileLeavesNone();
    void clearLeavesFolderAlone();
    void clearLeavesALinkedFileAlone();
    void clearWhileServiceWritesKeepsFile();
    void reportTakesColumnsAsShown();
    void pagePrintsAsAnItemListWould();
    void listReadsTheSameThroughAccessibility();
    void printCancelledPrintsNothing();
    void printShowsTitleAndRowsAsShown();
    void printIncludesIpv6Addresses();
    void printEmptyList();
    void printFailureShownAsError();
};

void TestHistoryLog::fileShownAsRows_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<Rows>("rows");

    const Rows two{{"A", "B", "C"}, {"D", "E", "F"}};
    QTest::newRow("CR LF") << QByteArray("A,B,C\r\nD,E,F\r\n") << two;
    QTest::newRow("LF only") << QByteArray("A,B,C\nD,E,F\n") << two;
    QTest::newRow("CR only") << QByteArray("A,B,C\rD,E,F\r") << two;
    QTest::newRow("last line without end") << QByteArray("A,B,C\r\nD,E,F") << two;
    QTest::newRow("mixed ends") << QByteArray("A,B,C\rD,E,F\nG,H,I\r\n")
                                << Rows{{"A", "B", "C"}, {"D", "E", "F"}, {"G", "H", "I"}};
    QTest::newRow("empty line in the middle")
        << QByteArray("A,B,C\r\n\r\nD,E,F\r\n") << Rows{{"A", "B", "C"}, {}};
    QTest::newRow("LF then CR is an empty line")
        << QByteArray("A,B,C\n\rD,E,F") << Rows{{"A", "B", "C"}, {}};
    QTest::newRow("only a line end") << QByteArray("\r\n") << Rows{{}};
    QTest::newRow("empty file") << QByteArray("") << Rows{};
    QTest::newRow("quoted date with a comma")
        << QByteArray("\"Jan 5, 2024 10:00\",203.0.113.7,192.168.1.20\r\n")
        << Rows{{"Jan 5, 2024 10:00", "203.0.113.7", "192.168.1.20"}};
    QTest::newRow("empty public IP") << QByteArray("A,,C") << Rows{{"A", "", "C"}};
    QTest::newRow("empty local IP") << QByteArray("A,B,") << Rows{{"A", "B", ""}};
    QTest::newRow("fourth field dropped")
        << QByteArray("A,B,C,D\r\nE,F,G") << Rows{{"A", "B", "C"}, {"E", "F", "G"}};
    QTest::newRow("blanks kept") << QByteArray(" A , B ,C \r\n") << Rows{{" A ", " B ", "C "}};
    QTest::newRow("NUL ends the text") << QByteArrayLiteral("A,B,C\r\nD,E,F\0\r\nG,H,I\r\n") << two;
    QTest::newRow("NUL inside a field")
        << QByteArrayLiteral("A,B,C\r\nD,E\0,F\r\n") << Rows{{"A", "B", "C"}, {"D", "E"}};
    QTest::newRow("last line one field")
        << QByteArray("A,B,C\r\nD,E,F\r\nG") << Rows{{"A", "B", "C"}, {"D", "E", "F"}, {"G"}};
    QTest::newRow("two fields end the list")
        << QByteArray("A,B,C\r\nD,E\r\nG,H,I\r\n") << Rows{{"A", "B", "C"}, {"D", "E"}};
    QTest::newRow("locale text") << QByteArray("5 f\xc3\xa9vr. 2024,203.0.113.7,10.0.0.2")
                                 << Rows{{QString::fromUtf8("5 f\xc3\xa9vr. 2024"), "203.0.113.7",
                                          "10.0.0.2"}};
}

void TestHistoryLog::fileShownAsRows()
{
    QFETCH(QByteArray, file);
    QFETCH(Rows, rows);
    LogWindow w;
    // Rows from an earlier visit are replaced.
    QVERIFY(writeFile(w.logPath(), "old,1.1.1.1,2.2.2.2\r\nolder,3.3.3.3,4.4.4.4\r\n"));
    w.showLogPage();
    QCOMPARE(w.rows().size(), 2);
    w.showOtherPage();

    QVERIFY(writeFile(w.logPath(), file));
    w.showLogPage();
    QCOMPARE(w.rows(), rows);
    QVERIFY(w.dialogs.shown.isEmpty());
}

void TestHistoryLog::ipv6ColumnsOnlyWhenALineHasThem_data()
{
    QTest::addColumn<QByteArray>("file");
    // Added to the file once it has been shown: read on, not anew.
    QTest::addColumn<QByteArray>("added");
    QTest::addColumn<Rows>("rows");
    QTest::addColumn<QStringList>("columns");

    const QStringList ipv4Columns{"Date", "Public IP", "Local IP"};
    const QStringList allColumns = ipv4Columns + QStringList{"Public IPv6", "Local IPv6"};
    const QByteArray old1("2026-12-01 10:00:00,203.0.113.7,192.168.1.20\r\n");
    const QByteArray old2("2026-12-02 11:00:00,203.0.113.8,192.168.1.20\r\n");
    const QByteArray both("2026-12-03 12:00:00,203.0.113.9,192.168.1.21,"
                          "2001:db8:1:2:a1b2:c3d4:e5f6:7788,2001:db8:1:2::20\r\n");
    const QByteArray publicOnly(
        "2026-12-04 13:00:00,203.0.113.9,192.168.1.21,2001:db8:9:9::1,\r\n");
    const QByteArray localOnly("2026-12-05 14:00:00,,192.168.1.21,,fd00::21\r\n");
    const QStringList old1Row{"2026-12-01 10:00:00", "203.0.113.7", "192.168.1.20"};
    const QStringList old2Row{"2026-12-02 11:00:00", "203.0.113.8", "192.168.1.20"};
    const QStringList bothRow{"2026-12-03 12:00:00", "203.0.113.9", "192.168.1.21",
                              "2001:db8:1:2:a1b2:c3d4:e5f6:7788", "2001:db8:1:2::20"};
    const QStringList publicOnlyRow{"2026-12-04 13:00:00", "203.0.113.9", "192.168.1.21",
                                    "2001:db8:9:9::1", ""};
    const QStringList localOnlyRow{"2026-12-05 14:00:00", "", "192.168.1.21", "", "fd00::21"};

    QTest::newRow("three fields") << old1 + old2 << QByteArray() << Rows{old1Row, old2Row}
                                  << ipv4Columns;
    QTest::newRow("five fields") << both + publicOnly + localOnly << QByteArray()
                                 << Rows{bothRow, publicOnlyRow, localOnlyRow} << allColumns;
    QTest::newRow("mixed") << old1 + both + old2 + localOnly << QByteArray()
                           << Rows{old1Row, bothRow, old2Row, localOnlyRow} << allColumns;
    QTest::newRow("five fields added later")
        << old1 + old2 << both << Rows{old1Row, old2Row, bothRow} << allColumns;
    QTest::newRow("three fields added later")
        << both << old1 << Rows{bothRow, old1Row} << allColumns;
    QTest::newRow("fields after the fifth left out")
        << QByteArray("A,B,C,D,E,F,G\r\n") << QByteArray() << Rows{{"A", "B", "C", "D", "E"}}
        << allColumns;
    QTest::newRow("a fourth field alone is no address")
        << QByteArray("A,B,C,D\r\n") << QByteArray() << Rows{{"A", "B", "C"}} << ipv4Columns;
}

void TestHistoryLog::ipv6ColumnsOnlyWhenALineHasThem()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, added);
    QFETCH(Rows, rows);
    QFETCH(QStringList, columns);
    LogWindow w;
    QVERIFY(writeFile(w.logPath(), file));
    w.showLogPage();
    if (!added.isEmpty()) {
        QFile log(w.logPath());
        QVERIFY(log.open(QIODevice::Append));
        QCOMPARE(log.write(added), added.size());
        log.close();
        w.showOtherPage();
        w.showLogPage();
    }
    QCOMPARE(w.rows(), rows);

    const QTableView& list = *w.ui().lvLog;
    QStringList shownColumns;
    for (int column = 0; column < list.model()->columnCount(); ++column)
        shownColumns << list.model()->headerData(column, Qt::Horizontal).toString();
    QCOMPARE(shownColumns, columns);
    // Each column wide enough for its longest text: a whole address is never cut.
    const QFontMetrics metrics(list.font());
    for (const QStringList& row : rows)
        for (int column = 0; column < row.size(); ++column)
            QVERIFY2(list.columnWidth(column) > metrics.horizontalAdvance(row[column]),
                     qPrintable(row[column]));
    // Emptied, the list has the older columns again.
    QTest::mouseClick(w.ui().btnClearLog, Qt::LeftButton);
    QCOMPARE(list.model()->columnCount(), 3);
}

void TestHistoryLog::notReadAtStartUpNorWhileShown()
{
    LogWindow w;
    QVERIFY(writeFile(w.logPath(), "A,B,C\r\n"));
    QVERIFY(QTest::qWaitForWindowExposed(&w.form()));
    QCOMPARE(w.rows(), Rows{});

    w.showLogPage();
    QCOMPARE(w.rows(), (Rows{{"A", "B", "C"}}));
    // A line the service adds while the page stays shown appears at the next showing:
    // after another page, or after the window comes back from the tray.
    QVERIFY(writeFile(w.logPath(), "A,B,C\r\nD,E,F\r\n"));
    w.showLogPage();
    QCOMPARE(w.rows().size(), 1);
    w.showOtherPage();
    w.showLogPage();
    QCOMPARE(w.rows().size(), 2);

    QVERIFY(writeFile(w.logPath(), "A,B,C\r\nD,E,F\r\nG,H,I\r\n"));
    w.form().hideToTray();
    w.form().ShowVelmora1Click();
    QCOMPARE(w.rows().size(), 3);
}

void TestHistoryLog::keptRowsWhenNoFile_data()
{
    QTest::addColumn<bool>("folderInstead");
    QTest::newRow("file deleted") << false;
    QTest::newRow("folder of that name") << true;
}

void TestHistoryLog::keptRowsWhenNoFile()
{
    QFETCH(bool, folderInstead);
    LogWindow w;
    QVERIFY(writeFile(w.logPath(), "A,B,C\r\nD,E,F\r\n"));
    w.showLogPage();
    w.showOtherPage();

    QVERIFY(QFile::remove(w.logPath()));
    if (folderInstead)
        QVERIFY(QDir(w.folder.path()).mkdir(QStringLiteral("velmora.log")));
    w.showLogPage();
    QCOMPARE(w.rows(), (Rows{{"A", "B", "C"}, {"D", "E", "F"}}));
    QVERIFY(w.dialogs.shown.isEmpty());
}

void TestHistoryLog::firstVisitWithoutFile()
{
    LogWindow w;
    w.showLogPage();
    QCOMPARE(w.rows(), Rows{});
    QVERIFY(w.dialogs.shown.isEmpty());
    QVERIFY(!QFile::exists(w.logPath()));
}

void TestHistoryLog::clearEmptiesListAndDeletesFile()
{
    LogWindow w;
    QVERIFY(writeFile(w.logPath(), "A,B,C\r\nD,E,F\r\n"));
    w.showLogPage();
    QCOMPARE(w.rows().size(), 2);

    QTest::mouseClick(w.ui().btnClearLog, Qt::LeftButton);
    QCOMPARE(w.rows(), Rows{});
    QVERIFY(!QFile::exists(w.logPath()));
    w.showOtherPage();
    w.showLogPage();
    QCOMPARE(w.rows(), Rows{});
    QVERIFY(w.dialogs.shown.isEmpty());
}

void TestHistoryLog::clearWithoutFileLeavesNone()
{
    LogWindow w;
    w.showLogPage();
    QTest::mouseClick(w.ui().btnClearLog, Qt::LeftButton);
    QVERIFY(!QFile::exists(w.logPath()));
    QVERIFY(w.dialogs.shown.isEmpty());
}

void TestHistoryLog::clearLeavesFolderAlone()
{
    LogWindow w;
    QVERIFY(QDir(w.folder.path()).mkdir(QStringLiteral("velmora.log")));
    QVERIFY(writeFile(w.logPath() + QStringLiteral("/inside"), "x"));
    w.showLogPage();
    QTest::mouseClick(w.ui().btnClearLog, Qt::LeftButton);
    QVERIFY(QFileInfo(w.logPath()).isDir());
    QCOMPARE(readFile(w.logPath() + QStringLiteral("/inside")), QByteArray("x"));
    QVERIFY(w.dialogs.shown.isEmpty());
}

void TestHistoryLog::clearLeavesALinkedFileAlone()
{
    // The service never writes through a link in the log's place; clearing
    // does not empty what it points to either.
    LogWindow w;
    const QString target = w.folder.filePath(QStringLiteral("elsewhere"));
    QVERIFY(writeFile(target, "A,B,C\r\n"));
    QVERIFY(QFile::link(target, w.logPath()));
    w.showLogPage();
    QTest::mouseClick(w.ui().btnClearLog, Qt::LeftButton);
    QCOMPARE(readFile(target), QByteArray("A,B,C\r\n"));
    QVERIFY(QFileInfo(w.logPath()).isSymLink());
    QVERIFY(w.dialogs.shown.isEmpty());
}

void TestHistoryLog::clearWhileServiceWritesKeepsFile()
{
    if (QStandardPaths::findExecutable(QStringLiteral("flock")).isEmpty())
        QSKIP("flock (util-linux) is not installed");
    LogWindow w;
    const QByteArray entries("A,B,C\r\nD,E,F\r\n");
    QVERIFY(writeFile(w.logPath(), entries));
    w.showLogPage();

    {
        LockHolder service(w.logPath());
        QVERIFY(service.waitUntilLocked());
        QTest::mouseClick(w.ui().btnClearLog, Qt::LeftButton);
        QCOMPARE(w.rows(), Rows{});
        QCOMPARE(readFile(w.logPath()), entries);
        w.showOtherPage();
        w.showLogPage();
        QCOMPARE(w.rows().size(), 2);
    }

    // Once the writer has let go, clearing works.
    QTest::mouseClick(w.ui().btnClearLog, Qt::LeftButton);
    QVERIFY(!QFile::exists(w.logPath()));
    QVERIFY(w.dialogs.shown.isEmpty());
}

void TestHistoryLog::reportTakesColumnsAsShown()
{
    QTreeWidget view;
    view.setHeaderLabels({"Date", "Public IP", "Local IP"});
    view.headerItem()->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    view.headerItem()->setTextAlignment(2, Qt::AlignHCenter);
    view.setColumnWidth(0, 153);
    view.setColumnWidth(1, 120);
    auto* full = new QTreeWidgetItem(&view);
    full->setText(0, "A");
    full->setText(1, "B");
    full->setText(2, "");
    auto* partial = new QTreeWidgetItem(&view);
    partial->setText(0, "D");
    new QTreeWidgetItem(&view);
    view.setColumnHidden(2, true);

    const ReportList report = reportListOf(*view.header());
    QCOMPARE(report.columns.size(), 3);
    QCOMPARE(report.columns[0].caption, QString("Date"));
    QCOMPARE(report.columns[0].width, 153);
    QCOMPARE(report.columns[1].width, 120);
    QCOMPARE(report.columns[2].width, 0);
    QCOMPARE(report.columns[0].alignment, ReportList::Alignment::Left);
    QCOMPARE(report.columns[1].alignment, ReportList::Alignment::Right);
    QCOMPARE(report.columns[2].alignment, ReportList::Alignment::Center);
    QCOMPARE(report.rows.size(), 3);
    QCOMPARE(report.rows[0].caption, QString("A"));
    QCOMPARE(report.rows[0].subItems, (QStringList{"B", ""}));
    QCOMPARE(report.rows[1].caption, QString("D"));
    QCOMPARE(report.rows[1].subItems, QStringList{});
    QCOMPARE(report.rows[2].caption, QString());
    QCOMPARE(report.rows[2].subItems, QStringList{});
}

void TestHistoryLog::pagePrintsAsAnItemListWould()
{
    LogWindow w;
    QVERIFY(writeFile(w.logPath(), "2024-01-05 10:00:00,203.0.113.7,192.168.1.20\r\n"
                                   "\"Jan 5, 2024\",,10.0.0.1,extra\r\n"
                                   "2024-02-06 11:30:00,198.51.100.9\r\n"));
    w.showLogPage();
    const QTableView& page = *w.ui().lvLog;

    // The same rows as items of their own, in a list with the page's columns.
    QTreeWidget items;
    items.setHeaderLabels({"Date", "Public IP", "Local IP"});
    for (const QStringList& cells : w.rows()) {
        auto* item = new QTreeWidgetItem(&items);
        for (int column = 0; column < cells.size(); ++column)
            item->setText(column, cells[column]);
    }
    for (int column = 0; column < 3; ++column)
        items.setColumnWidth(column, page.columnWidth(column));

    const ReportList expected = reportListOf(*items.header());
    const ReportList printed = reportListOf(*page.horizontalHeader());
    QCOMPARE(printed.columns.size(), expected.columns.size());
    for (int column = 0; column < 3; ++column) {
        QCOMPARE(printed.columns[column].caption, expected.columns[column].caption);
        QCOMPARE(printed.columns[column].width, expected.columns[column].width);
        QCOMPARE(printed.columns[column].alignment, expected.columns[column].alignment);
    }
    QCOMPARE(printed.rows.size(), 3);
    QCOMPARE(printed.rows.size(), expected.rows.size());
    for (int row = 0; row < 3; ++row) {
        QCOMPARE(printed.rows[row].caption, expected.rows[row].caption);
        QCOMPARE(printed.rows[row].subItems, expected.rows[row].subItems);
    }
    QCOMPARE(printed.rows[1].subItems, (QStringList{"", "10.0.0.1"}));
    QCOMPARE(printed.rows[2].subItems, QStringList{"198.51.100.9"});
}

void TestHistoryLog::listReadsTheSameThroughAccessibility()
{
    LogWindow w;
    QVERIFY(writeFile(w.logPath(), "A,B,C\r\nD,,F\r\nG,H\r\n"));
    w.showLogPage();
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(w.ui().lvLog);
    QVERIFY(list);
    QCOMPARE(list->role(), QAccessible::Table);
    QCOMPARE(list->text(QAccessible::Name), QStringLiteral("History Log"));
    QCOMPARE(list->text(QAccessible::Description),
             QStringLiteral("IP address history change log."));
    QAccessibleTableInterface* table = list->tableInterface();
    QVERIFY(table);
    QCOMPARE(table->columnCount(), 3);
    // Rows are laid out as the list is drawn.
    QTRY_COMPARE(table->rowCount(), 3);
    QStringList read;
    for (int row = 0; row < table->rowCount(); ++row)
        for (int column = 0; column < table->columnCount(); ++column)
            read << table->cellAt(row, column)->text(QAccessible::Name);
    QCOMPARE(read, (QStringList{"A", "B", "C", "D", "", "F", "G", "H", ""}));
}

void TestHistoryLog::printCancelledPrintsNothing()
{
    LogWindow w;
    QVERIFY(writeFile(w.logPath(), "A,B,C\r\n"));
    w.showLogPage();
    const QString pdf = w.folder.filePath(QStringLiteral("log.pdf"));
    // The user sets the dialog up, then cancels.
    w.dialogs.printerAnswer = false;
    w.dialogs.onChoosePrinter = [pdf](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
    };
    QTest::mouseClick(w.ui().btnPrintLog, Qt::LeftButton);
    QCOMPARE(w.dialogs.shown.size(), 1);
    QCOMPARE(w.dialogs.shown[0].kind, ScriptedDialogs::Shown::PrintDialog);
    QVERIFY(!QFile::exists(pdf));
}

void TestHistoryLog::printShowsTitleAndRowsAsShown()
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    LogWindow w;
    QVERIFY(writeFile(w.logPath(), "2024-01-05 10:00:00,203.0.113.7,192.168.1.20\r\n"
                                   "2024-02-06 11:30:00,198.51.100.9,192.168.1.21\r\n"));
    w.showLogPage();
    // The printout is what the list shows; the file is not read again.
    QVERIFY(writeFile(w.logPath(), "2030-01-01 00:00:00,0.0.0.0,0.0.0.0\r\n"));
    const QString pdf = w.folder.filePath(QStringLiteral("log.pdf"));
    w.dialogs.printerAnswer = true;
    w.dialogs.onChoosePrinter = [pdf](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
    };
    QTest::mouseClick(w.ui().btnPrintLog, Qt::LeftButton);
    QCOMPARE(w.dialogs.errors(), QStringList{});

    const QString text = pdfText(pdf);
    QVERIFY2(text.contains("Velmora - IP Address Change Log"), qPrintable(text));
    for (const char* expected :
         {"Date", "Public IP", "Local IP", "2024-01-05 10:00:00", "203.0.113.7", "192.168.1.20",
          "2024-02-06 11:30:00", "198.51.100.9", "192.168.1.21"})
        QVERIFY2(text.contains(QLatin1String(expected)), expected);
    QVERIFY(!text.contains("2030-01-01"));
    QVERIFY(!text.contains("(2)"));
}

void TestHistoryLog::printIncludesIpv6Addresses()
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    LogWindow w;
    QVERIFY(writeFile(w.logPath(), "2024-01-05 10:00:00,203.0.113.7,192.168.1.20\r\n"
                                   "2024-02-06 11:30:00,198.51.100.9,192.168.1.21,"
                                   "2001:db8:5:6:1a2b:3c4d:5e6f:7a8b,2001:db8:5:6::21\r\n"
                                   "2024-03-07 12:45:00,198.51.100.9,192.168.1.21,,fd00::21\r\n"));
    w.showLogPage();
    const QString pdf = w.folder.filePath(QStringLiteral("log.pdf"));
    w.dialogs.printerAnswer = true;
    w.dialogs.onChoosePrinter = [pdf](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
    };
    QTest::mouseClick(w.ui().btnPrintLog, Qt::LeftButton);
    QCOMPARE(w.dialogs.errors(), QStringList{});

    const QString text = pdfText(pdf);
    for (const char* expected :
         {"Date", "Public IP", "Local IP", "Public IPv6", "Local IPv6", "2024-01-05 10:00:00",
          "203.0.113.7", "2024-02-06 11:30:00", "2001:db8:5:6:1a2b:3c4d:5e6f:7a8b",
          "2001:db8:5:6::21", "2024-03-07 12:45:00", "fd00::21"})
        QVERIFY2(text.contains(QLatin1String(expected)),
                 qPrintable(QLatin1String(expected) + u'\n' + text));
}

void TestHistoryLog::printEmptyList()
{
    LogWindow w;
    w.showLogPage();
    const QString pdf = w.folder.filePath(QStringLiteral("empty.pdf"));
    w.dialogs.printerAnswer = true;
    w.dialogs.onChoosePrinter = [pdf](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
    };
    QTest::mouseClick(w.ui().btnPrintLog, Qt::LeftButton);
    QCOMPARE(w.dialogs.errors(), QStringList{});
    QVERIFY(QFileInfo(pdf).size() > 0);
}

void TestHistoryLog::printFailureShownAsError()
{
    LogWindow w;
    QVERIFY(writeFile(w.logPath(), "A,B,C\r\n"));
    w.showLogPage();
    const QString pdf = w.folder.filePath(QStringLiteral("missing/log.pdf"));
    w.dialogs.printerAnswer = true;
    w.dialogs.onChoosePrinter = [pdf](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
    };
    QTest::mouseClick(w.ui().btnPrintLog, Qt::LeftButton);
    QCOMPARE(w.dialogs.errors(),
             QStringList{QStringLiteral("Cannot write the printout to \"%1\"").arg(pdf)});
    // The window goes on as before.
    QCOMPARE(w.rows(), (Rows{{"A", "B", "C"}}));
}

QTEST_MAIN(TestHistoryLog)
#include "tst_history_log.moc"
