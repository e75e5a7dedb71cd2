// How the History Log page reads its file: once, then only what was added; and
// what it does with files that are not an ordinary log.
#include "HistoryLogWindow.h"
#include "main_form/HistoryLogModel.h"
#include "main_form/LogLines.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

using testfiles::readFile;
using testfiles::writeFile;

namespace {

constexpr uid_t nobody = 65534;

bool appendToFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::Append) && file.write(bytes) == bytes.size();
}

// A log of count entries, the way the service writes them.
QByteArray entries(int first, int count)
{
    QByteArray text;
    for (int i = first; i < first + count; ++i)
        text += QStringLiteral("2026-12-10 14:%1:%2,203.0.113.%3,192.168.1.%4\r\n")
                    .arg(i / 60 % 60, 2, 10, QLatin1Char('0'))
                    .arg(i % 60, 2, 10, QLatin1Char('0'))
                    .arg(i % 250)
                    .arg(i % 200)
                    .toLatin1();
    return text;
}

bool setModified(const QString& path, const QDateTime& when)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite) &&
           file.setFileTime(when, QFileDevice::FileModificationTime);
}

} // namespace

class TestHistoryReading : public QObject
{
    Q_OBJECT

private slots:
    void unchangedLogIsNotReadAgain();
    void grownLogGivesOnlyItsNewRows();
    void grownLogReadsOnAsAWholeReadWould_data();
    void grownLogReadsOnAsAWholeReadWould();
    void splitAnywhereReadsAsAWhole_data();
    void splitAnywhereReadsAsAWhole();
    void changedLogIsReadAnew_data();
    void changedLogIsReadAnew();
    void plantedFileIsLeftAlone_data();
    void plantedFileIsLeftAlone();
    void longLineIsCut_data();
    void longLineIsCut();
    void hugeLogShowsItsFirstRows();
};

void TestHistoryReading::unchangedLogIsNotReadAgain()
{
    LogWindow w;
    const QByteArray log = entries(0, 200);
    QVERIFY(writeFile(w.logPath(), log));
    w.showLogPage();
    QCOMPARE(w.rows().size(), 200);
    const qint64 readFirst = w.form().historyLog().bytesRead();
    QVERIFY(readFirst >= log.size());
    w.ui().lvLog->setCurrentIndex(w.ui().lvLog->model()->index(7, 0));

    w.showOtherPage();
    w.showLogPage();
    w.form().hideToTray();
    w.form().ShowVelmora1Click();
    QCOMPARE(w.form().historyLog().bytesRead(), readFirst);
    QCOMPARE(w.rows().size(), 200);
    // The rows were left as they were, with the user's selection.
    QCOMPARE(w.ui().lvLog->currentIndex().row(), 7);
    QVERIFY(w.ui().lvLog->selectionModel()->isRowSelected(7, QModelIndex()));
}

void TestHistoryReading::grownLogGivesOnlyItsNewRows()
{
    LogWindow w;
    const QByteArray log = entries(0, 1000);
    QVERIFY(writeFile(w.logPath(), log));
    w.showLogPage();
    w.ui().lvLog->setCurrentIndex(w.ui().lvLog->model()->index(10, 0));
    const qint64 readFirst = w.form().historyLog().bytesRead();
    w.showOtherPage();

    const QByteArray added = entries(1000, 2);
    QVERIFY(appendToFile(w.logPath(), added));
    QSignalSpy resets(&w.form().historyLog(), &QAbstractItemModel::modelReset);
    QSignalSpy inserts(&w.form().historyLog(), &QAbstractItemModel::rowsInserted);
    w.showLogPage();

    QCOMPARE(w.rows().size(), 1002);
    QCOMPARE(w.rows().last(), (QStringList{"2026-12-10 14:16:41", "203.0.113.1", "192.168.1.1"}));
    QCOMPARE(resets.size(), 0);
    QCOMPARE(inserts.size(), 1);
    QCOMPARE(inserts[0][1].toInt(), 1000);
    QCOMPARE(inserts[0][2].toInt(), 1001);
    // The new part, and no more than a glance back at where the old part ended.
    QVERIFY2(w.form().historyLog().bytesRead() - readFirst <= added.size() + 256,
             qPrintable(QString::number(w.form().historyLog().bytesRead() - readFirst)));
    QCOMPARE(w.ui().lvLog->currentIndex().row(), 10);
}

void TestHistoryReading::grownLogReadsOnAsAWholeReadWould_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("added");
    QTest::addColumn<Rows>("rows");

    const Rows two{{"A", "B", "C"}, {"D", "E", "F"}};
    QTest::newRow("whole lines") << QByteArray("A,B,C\r\n") << QByteArray("D,E,F\r\n") << two;
    QTest::newRow("a line still being written")
        << QByteArray("A,B,C\r\nD,E") << QByteArray(",F\r\nG,H,I\r\n")
        << Rows{{"A", "B", "C"}, {"D", "E", "F"}, {"G", "H", "I"}};
    QTest::newRow("CR, then its LF") << QByteArray("A,B,C\r") << QByteArray("\nD,E,F\r\n") << two;
    QTest::newRow("lone CR") << QByteArray("A,B,C\r") << QByteArray("D,E,F") << two;
    QTest::newRow("LF, then CR LF is an empty line")
        << QByteArray("A,B,C\n") << QByteArray("\r\nD,E,F\r\n") << Rows{{"A", "B", "C"}, {}};
    QTest::newRow("nothing after a short line")
        << QByteArray("A,B\r\n") << QByteArray("C,D,E\r\n") << Rows{{"A", "B"}};
    QTest::newRow("nothing after a NUL")
        << QByteArrayLiteral("A,B,C\r\n\0") << QByteArray("D,E,F\r\n") << Rows{{"A", "B", "C"}};
    QTest::newRow("a quoted date completed")
        << QByteArray("\"Jan 5") << QByteArray(", 2024\",B,C\r\n")
        << Rows{{"Jan 5, 2024", "B", "C"}};
    QTest::newRow("IPv6 addresses completed")
        << QByteArray("A,B,C\r\nD,E,F,2001:db8::1") << QByteArray(",fd00::1\r\nG,H,I\r\n")
        << Rows{{"A", "B", "C"}, {"D", "E", "F", "2001:db8::1", "fd00::1"}, {"G", "H", "I"}};
}

void TestHistoryReading::grownLogReadsOnAsAWholeReadWould()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, added);
    QFETCH(Rows, rows);
    LogWindow w;
    QVERIFY(writeFile(w.logPath(), before));
    w.showLogPage();
    w.showOtherPage();
    QVERIFY(appendToFile(w.logPath(), added));
    w.showLogPage();
    QCOMPARE(w.rows(), rows);

    LogWindow fresh;
    QVERIFY(writeFile(fresh.logPath(), before + added));
    fresh.showLogPage();
    QCOMPARE(fresh.rows(), rows);
}

void TestHistoryReading::splitAnywhereReadsAsAWhole_data()
{
    QTest::addColumn<QByteArray>("log");
    QTest::addColumn<int>("step");
    QTest::newRow("line ends of every kind")
        << QByteArray("A,B,C\r\nD,E,F\nG,H,I\rJ,K,L\r\n\"M, N\",O,P\r\nQ,\"R\"\"S\",T") << 1;
    QTest::newRow("ends with a short line")
        << QByteArray("A,B,C\r\nD,E,F\r\nG,H\r\nJ,K,L\r\n") << 1;
    QTest::newRow("ends with a NUL") << QByteArrayLiteral("A,B,C\r\nD,E,F\0G,H,I\r\n") << 1;
    QTest::newRow("IPv6 addresses on some lines")
        << QByteArray("A,B,C\r\nD,E,F,2001:db8::1,fd00::1\r\nG,H,I\r\nJ,K,L,,fd00::2\r\n") << 1;
    QTest::newRow("a line cut in the middle")
        << QByteArray("A,B,C\r\n" + QByteArray(LogLines::maxLineBytes + 100, 'x') + ",E,F\r\n")
        << 7;
}

void TestHistoryReading::splitAnywhereReadsAsAWhole()
{
    QFETCH(QByteArray, log);
    QFETCH(int, step);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("velmora.log"));
    const auto rowsOfModel = [](HistoryLogModel& model) {
        QTableView view;
        view.setModel(&model);
        return rowsOf(view);
    };
    HistoryLogModel whole;
    QVERIFY(writeFile(path, log));
    QCOMPARE(whole.refresh(path), LogFileProblem::None);
    const Rows expected = rowsOfModel(whole);
    QVERIFY(!expected.isEmpty());

    for (qsizetype split = 0; split <= log.size(); split += step) {
        HistoryLogModel model;
        QVERIFY(writeFile(path, log.first(split)));
        QCOMPARE(model.refresh(path), LogFileProblem::None);
        QVERIFY(appendToFile(path, log.sliced(split)));
        QCOMPARE(model.refresh(path), LogFileProblem::None);
        QVERIFY2(rowsOfModel(model) == expected,
                 qPrintable(QStringLiteral("split at %1").arg(split)));
        QVERIFY2(model.columnCount() == whole.columnCount(),
                 qPrintable(QStringLiteral("split at %1").arg(split)));
        // Every log here starts with "A,B,C\r\n": once that line is whole, it is not read again.
        if (split >= 7)
            QVERIFY(model.bytesRead() <= split + log.size() - 7);
    }
}

void TestHistoryReading::changedLogIsReadAnew_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<Rows>("rows");
    QTest::newRow("emptied") << "emptied" << Rows{};
    QTest::newRow("cleared, then a new line")
        << "cleared" << Rows{{"2026-12-11 09:00:00", "198.51.100.4", "10.0.0.9"}};
    QTest::newRow("replaced by a file of the same size")
        << "replaced" << Rows{{"2026-12-11 09:00:00", "198.51.100.4", "10.0.0.99"}};
    QTest::newRow("written anew, longer")
        << "longer" << Rows{{"2026-12-11 09:00:00", "198.51.100.4", "10.0.0.9"}, {"X", "Y", "Z"}};
    QTest::newRow("written anew, same size")
        << "same size" << Rows{{"2026-12-11 09:00:00", "198.51.100.4", "10.0.0.99"}};
}

void TestHistoryReading::changedLogIsReadAnew()
{
    QFETCH(QString, change);
    QFETCH(Rows, rows);
    LogWindow w;
    // As long as the one-line logs below.
    const QByteArray old = "2026-12-10 14:00:00,203.0.113.7,10.0.0.200\r\n";
    QVERIFY(writeFile(w.logPath(), old));
    w.showLogPage();
    QCOMPARE(w.rows().size(), 1);
    const QDateTime modified = QFileInfo(w.logPath()).lastModified();
    w.showOtherPage();

    const QByteArray line = "2026-12-11 09:00:00,198.51.100.4,10.0.0.99\r\n";
    QCOMPARE(line.size(), old.size());
    if (change == "emptied") {
        QVERIFY(QFile::resize(w.logPath(), 0));
    } else if (change == "cleared") {
        w.showLogPage();
        QTest::mouseClick(w.ui().btnClearLog, Qt::LeftButton);
        w.showOtherPage();
        QVERIFY(writeFile(w.logPath(), "2026-12-11 09:00:00,198.51.100.4,10.0.0.9\r\n"));
    } else if (change == "replaced") {
        const QString other = w.folder.filePath(QStringLiteral("new.log"));
        QVERIFY(writeFile(other, line));
        QVERIFY(::rename(QFile::encodeName(other).constData(),
                         QFile::encodeName(w.logPath()).constData()) == 0);
        QVERIFY(setModified(w.logPath(), modified));
    } else if (change == "longer") {
        QVERIFY(writeFile(w.logPath(), "2026-12-11 09:00:00,198.51.100.4,10.0.0.9\r\nX,Y,Z\r\n"));
    } else {
        QVERIFY(writeFile(w.logPath(), line));
        QVERIFY(setModified(w.logPath(), modified.addSecs(1)));
    }
    w.showLogPage();
    QCOMPARE(w.rows(), rows);
}

void TestHistoryReading::plantedFileIsLeftAlone_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("notice");
    const QString link = QStringLiteral("is a symbolic link");
    const QString notRegular = QStringLiteral("is not a regular file");
    QTest::newRow("link to another file") << "link" << link;
    QTest::newRow("link to /dev/zero") << "zero" << link;
    QTest::newRow("FIFO") << "fifo" << notRegular;
    QTest::newRow("folder") << "folder" << notRegular;
    QTest::newRow("another user's file") << "owner" << QStringLiteral("belongs to another user");
}

void TestHistoryReading::plantedFileIsLeftAlone()
{
    QFETCH(QString, kind);
    QFETCH(QString, notice);
    if (kind == "owner" && ::geteuid() != 0)
        QSKIP("needs root to give a file to another user");
    LogWindow w;
    QVERIFY(writeFile(w.logPath(), "A,B,C\r\n"));
    w.showLogPage();
    w.showOtherPage();
    QVERIFY(QFile::remove(w.logPath()));

    const QString target = w.folder.filePath(QStringLiteral("elsewhere"));
    const QByteArray kept("D,E,F\r\nG,H,I\r\n");
    const QByteArray path = QFile::encodeName(w.logPath());
    if (kind == "link") {
        QVERIFY(writeFile(target, kept));
        QVERIFY(QFile::link(target, w.logPath()));
    } else if (kind == "zero") {
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), w.logPath()));
    } else if (kind == "fifo") {
        QVERIFY(::mkfifo(path.constData(), 0600) == 0);
    } else if (kind == "owner") {
        QVERIFY(writeFile(w.logPath(), kept));
        QVERIFY(::chown(path.constData(), nobody, nobody) == 0);
    } else {
        QVERIFY(QDir(w.folder.path()).mkdir(QStringLiteral("velmora.log")));
        QVERIFY(writeFile(w.logPath() + QStringLiteral("/inside"), kept));
    }
    const QString expected =
        QStringLiteral("The history log \"%1\" %2, so it is not shown or cleared.")
            .arg(w.logPath(), notice);

    // Shown, cleared, shown again: none of it waits on the file or changes it.
    w.showLogPage();
    QCOMPARE(w.rows(), (Rows{{"A", "B", "C"}}));
    QCOMPARE(w.notice(), expected);
    QTest::mouseClick(w.ui().btnClearLog, Qt::LeftButton);
    QCOMPARE(w.rows(), Rows{});
    QCOMPARE(w.notice(), expected);
    w.showOtherPage();
    w.showLogPage();
    QCOMPARE(w.rows(), Rows{});
    QCOMPARE(w.notice(), expected);
    QVERIFY(w.dialogs.shown.isEmpty());

    struct stat status = {};
    QVERIFY(::lstat(path.constData(), &status) == 0);
    if (kind == "link" || kind == "zero")
        QVERIFY(S_ISLNK(status.st_mode));
    if (kind == "link")
        QCOMPARE(readFile(target), kept);
    if (kind == "fifo")
        QVERIFY(S_ISFIFO(status.st_mode));
    if (kind == "folder")
        QCOMPARE(readFile(w.logPath() + QStringLiteral("/inside")), kept);
    if (kind == "owner")
        QCOMPARE(readFile(w.logPath()), kept);

    // Once the log is an ordinary file again, it is shown, and the notice goes.
    QVERIFY(kind == "folder" ? QDir(w.logPath()).removeRecursively() : QFile::remove(w.logPath()));
    QVERIFY(writeFile(w.logPath(), kept));
    w.showOtherPage();
    w.showLogPage();
    QCOMPARE(w.rows(), (Rows{{"D", "E", "F"}, {"G", "H", "I"}}));
    QCOMPARE(w.notice(), QString());
}

void TestHistoryReading::longLineIsCut_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<Rows>("rows");
    const qsizetype keep = LogLines::maxLineBytes;
    QTest::newRow("5 MB without a comma or a line end")
        << QByteArray(5 << 20, 'x') << Rows{{QString(keep, u'x')}};
    QTest::newRow("a long last field, then a line")
        << QByteArray("A,B," + QByteArray(100000, 'y') + "\r\nD,E,F\r\n")
        << Rows{{"A", "B", QString(keep - 4, u'y')}, {"D", "E", "F"}};
    QTest::newRow("fields beyond the cut are not there")
        << QByteArray(QByteArray(keep, 'z') + ",B,C\r\nD,E,F\r\n") << Rows{{QString(keep, u'z')}};
}

void TestHistoryReading::longLineIsCut()
{
    QFETCH(QByteArray, file);
    QFETCH(Rows, rows);
    LogWindow w;
    QVERIFY(writeFile(w.logPath(), file));
    w.showLogPage();
    QCOMPARE(w.rows(), rows);
    QCOMPARE(w.notice(), QString());
}

void TestHistoryReading::hugeLogShowsItsFirstRows()
{
    LogWindow w;
    // About 100 MB, more than the page keeps.
    const QByteArray block = entries(0, 10000);
    {
        QFile file(w.logPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        while (file.size() < 100 << 20)
            QCOMPARE(file.write(block), block.size());
    }
    const qint64 size = QFileInfo(w.logPath()).size();
    w.showLogPage();
    const int shown = w.ui().lvLog->model()->rowCount();
    QVERIFY(shown > 0);
    QVERIFY(qint64(shown) * (block.size() / 10000) < size);
    QCOMPARE(w.ui().lvLog->model()->index(shown - 1, 2).data().toString(),
             QStringLiteral("192.168.1.%1").arg((shown - 1) % 10000 % 200));
    QCOMPARE(w.notice(),
             QStringLiteral("The history log is too large to show whole: its first %L1 entries "
                            "are shown.")
                 .arg(shown));
    QCOMPARE(QFileInfo(w.logPath()).size(), size);
    QVERIFY(w.dialogs.shown.isEmpty());
}

QTEST_MAIN(TestHistoryReading)
#include "tst_history_reading.moc"
