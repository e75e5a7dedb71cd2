#include "MainFormFixture.h"
#include "support/TestFiles.h"
#include "support/TestTime.h"
#include "toolkit/DesktopShellActions.h"
#include "toolkit/SidePager.h"
#include "ui_MainForm.h"

#include <QDir>
#include <QFile>
#include <QtTest>
#include <memory>

using testfiles::writeFile;

namespace {

const QString PathNotCorrect = QStringLiteral("Error: Program path is not correct.");

QString canonical(const QString& path)
{
    return QFileInfo(path).canonicalFilePath();
}

} // namespace

// The Run Program page: choosing a file and trying it.
class TestRunProgram : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void testRefusesWhatIsNotABareFilePath_data();
    void testRefusesWhatIsNotABareFilePath();
    void testHandsAFileToTheShell_data();
    void testHandsAFileToTheShell();
    void testStartsAProgramWithoutShellOrArguments();
    void selectPutsThePathAndMakesItsFolderCurrent();
    void cancelledSelectChangesNothing();

private:
    TFormMain& createOnRunProgramPage(MainFormFixture& f);

    std::unique_ptr<QTemporaryDir> m_folder; // a fresh one for each test
    QString m_previousFolder;
};

void TestRunProgram::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    m_previousFolder = QDir::currentPath();
}

void TestRunProgram::cleanup()
{
    QDir::setCurrent(m_previousFolder);
    m_folder.reset();
}

TFormMain& TestRunProgram::createOnRunProgramPage(MainFormFixture& f)
{
    TFormMain& form = f.create();
    form.pager().setTabVisible(TFormMain::RunProgramPage, true);
    form.pager().setCurrentIndex(TFormMain::RunProgramPage);
    return form;
}

void TestRunProgram::testRefusesWhatIsNotABareFilePath_data()
{
    // "<folder>" stands for a folder holding the executable tool.sh.
    QTest::addColumn<QString>("field");
    QTest::newRow("empty field") << QString();
    QTest::newRow("missing file") << QStringLiteral("<folder>/missing.sh");
    QTest::newRow("folder") << QStringLiteral("<folder>");
    QTest::newRow("path with arguments") << QStringLiteral("<folder>/tool.sh --now");
    QTest::newRow("quoted path") << QStringLiteral("\"<folder>/tool.sh\"");
    QTest::newRow("blank before the path") << QStringLiteral(" <folder>/tool.sh");
}

void TestRunProgram::testRefusesWhatIsNotABareFilePath()
{
    QFETCH(QString, field);
    QVERIFY(writeFile(m_folder->filePath(QStringLiteral("tool.sh")), "#!/bin/sh\n", true));
    MainFormFixture f;
    createOnRunProgramPage(f);
    f.ui().txtProgram->setText(field.replace(QLatin1String("<folder>"), m_folder->path()));

    f.ui().btnTestProgram->click();

    QCOMPARE(f.dialogs.notices(), QStringList{PathNotCorrect});
    QVERIFY(f.dialogs.errors().isEmpty());
    QVERIFY(f.shell.files.isEmpty());
}

void TestRunProgram::testHandsAFileToTheShell_data()
{
    QTest::addColumn<QString>("field"); // "<folder>" as above
    QTest::newRow("program") << QStringLiteral("<folder>/tool.sh");
    QTest::newRow("document") << QStringLiteral("<folder>/notes.txt");
    QTest::newRow("name with blanks") << QStringLiteral("<folder>/my notes.txt");
    QTest::newRow("relative to the current folder") << QStringLiteral("notes.txt");
}

void TestRunProgram::testHandsAFileToTheShell()
{
    QFETCH(QString, field);
    QVERIFY(writeFile(m_folder->filePath(QStringLiteral("tool.sh")), "#!/bin/sh\n", true));
    QVERIFY(writeFile(m_folder->filePath(QStringLiteral("notes.txt")), "notes\n"));
    QVERIFY(writeFile(m_folder->filePath(QStringLiteral("my notes.txt")), "notes\n"));
    QVERIFY(QDir::setCurrent(m_folder->path()));
    MainFormFixture f;
    createOnRunProgramPage(f);
    field.replace(QLatin1String("<folder>"), m_folder->path());
    f.ui().txtProgram->setText(field);

    f.ui().btnTestProgram->click();

    QCOMPARE(f.shell.files, QStringList{field});
    QVERIFY(f.dialogs.shown.isEmpty());
}

void TestRunProgram::testStartsAProgramWithoutShellOrArguments()
{
    // Blanks in the path would split it if a shell were involved; the program
    // records how many arguments it got, then the marker appears whole.
    QVERIFY(QDir(m_folder->path()).mkdir(QStringLiteral("my programs")));
    const QString program = m_folder->filePath(QStringLiteral("my programs/run me.sh"));
    const QString marker = m_folder->filePath(QStringLiteral("ran"));
    const QByteArray script = "#!/bin/sh\nprintf '%s' \"$#\" > '" + marker.toLocal8Bit() +
                              ".part' && mv '" + marker.toLocal8Bit() + ".part' '" +
                              marker.toLocal8Bit() + "'\n";
    QVERIFY(writeFile(program, script, true));
    DesktopShellActions desktop;
    MainFormFixture f;
    f.adjustContext = [&desktop](MainFormContext& context) { context.shell = &desktop; };
    createOnRunProgramPage(f);
    f.ui().txtProgram->setText(program);

    f.ui().btnTestProgram->click();

    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), testtime::scaled(10000));
    QFile ran(marker);
    QVERIFY(ran.open(QIODevice::ReadOnly));
    QCOMPARE(ran.readAll(), QByteArray("0"));
    QVERIFY(f.dialogs.shown.isEmpty());
}

void TestRunProgram::selectPutsThePathAndMakesItsFolderCurrent()
{
    QVERIFY(QDir(m_folder->path()).mkdir(QStringLiteral("tools")));
    const QString program = m_folder->filePath(QStringLiteral("tools/alert.sh"));
    QVERIFY(writeFile(program, "#!/bin/sh\n", true));
    MainFormFixture f;
    f.dialogs.files = {program};
    createOnRunProgramPage(f);
    QVERIFY(!f.ui().btnApply->isEnabled());

    f.ui().btnSelectProgram->click();

    QCOMPARE(f.ui().txtProgram->text(), program);
    QVERIFY(f.ui().btnApply->isEnabled());
    QCOMPARE(canonical(QDir::currentPath()),
             canonical(m_folder->filePath(QStringLiteral("tools"))));
    // Chosen, not started.
    QVERIFY(f.shell.files.isEmpty());
    QCOMPARE(f.dialogs.shown.size(), 1);
    QCOMPARE(f.dialogs.shown[0].kind, ScriptedDialogs::Shown::FileDialog);
}

void TestRunProgram::cancelledSelectChangesNothing()
{
    MainFormFixture f;
    f.dialogs.files = {QString()};
    createOnRunProgramPage(f);
    const QString before = f.ui().txtProgram->text();

    f.ui().btnSelectProgram->click();

    QCOMPARE(f.ui().txtProgram->text(), before);
    QVERIFY(!f.ui().btnApply->isEnabled());
    QCOMPARE(QDir::currentPath(), m_previousFolder);
    QVERIFY(f.shell.files.isEmpty());
}

QTEST_MAIN(TestRunProgram)
#include "tst_run_program.moc"
