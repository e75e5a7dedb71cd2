#include "net/ReplaceInFile.h"
#include "support/TestFiles.h"
#include "support/TestTime.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

using testfiles::readFile;
using testfiles::writeFile;

namespace {

QString errorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const std::runtime_error& error) {
        return QString::fromStdString(error.what());
    }
    return QStringLiteral("<no error>");
}

// Restores the current folder when the test ends, however it ends.
class CurrentFolderGuard
{
public:
    CurrentFolderGuard() : m_saved(QDir::currentPath()) {}
    ~CurrentFolderGuard() { QDir::setCurrent(m_saved); }

private:
    QString m_saved;
};

const QByteArray PageTemplate = "<h1>[[ComputerName]]</h1>\r\n<p>Public [[PublicIPAddress]]</p>\n"
                                "<p>Local [[localipaddress]]</p>\n";

} // namespace

class TestReplaceInFile : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void replacesEveryOccurrence_data();
    void replacesEveryOccurrence();
    void fillsThePageTemplateInPlace();
    void fillsACopyAndLeavesTheTemplate();
    void rewriteKeepsTheFileMode();
    void rewriteGoesThroughASymbolicLink();
    void unreadableFileNamesItsFullPath_data();
    void unreadableFileNamesItsFullPath();
    void readOnlyFileKeepsItsContent();
    void busyFileKeepsItsContent();
    void copyThatCannotBeCreatedLeavesTheTemplate_data();
    void copyThatCannotBeCreatedLeavesTheTemplate();

private:
    QString path(const QString& name) const { return m_folder->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_folder;
};

void TestReplaceInFile::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
}

void TestReplaceInFile::replacesEveryOccurrence_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("searchText");
    QTest::addColumn<QString>("replacement");
    QTest::addColumn<QByteArray>("expected");

    const QString name = QStringLiteral("[[ComputerName]]");
    QTest::newRow("same letter case")
        << QByteArray("<b>[[ComputerName]]</b>") << name << QStringLiteral("OFFICE-PC")
        << QByteArray("<b>OFFICE-PC</b>");
    QTest::newRow("other letter cases")
        << QByteArray("[[computername]] [[COMPUTERNAME]] [[cOmPuTeRnAmE]]") << name
        << QStringLiteral("pc") << QByteArray("pc pc pc");
    QTest::newRow("no placeholder: bytes unchanged")
        << QByteArray("<p>static\r\npage</p>\n") << name << QStringLiteral("pc")
        << QByteArray("<p>static\r\npage</p>\n");
    QTest::newRow("placeholders next to each other")
        << QByteArray("[[ComputerName]][[computername]]") << name << QStringLiteral("ab")
        << QByteArray("abab");
    QTest::newRow("empty value removes the placeholder")
        << QByteArray("(a [[ComputerName]] b)") << name << QString() << QByteArray("(a  b)");
    QTest::newRow("empty file") << QByteArray() << name << QStringLiteral("pc") << QByteArray();
    QTest::newRow("replacement holding the placeholder is not searched again")
        << QByteArray("[[ComputerName]]!") << name << QStringLiteral("<[[computername]]>")
        << QByteArray("<[[computername]]>!");
    QTest::newRow("occurrences do not overlap, left to right")
        << QByteArray("aaaaa") << QStringLiteral("AA") << QStringLiteral("b") << QByteArray("bba");
    QTest::newRow("bytes that are not UTF-8 are kept")
        << QByteArray("\xff\xfe[[ComputerName]]\x00\x80", 20) << name << QStringLiteral("pc")
        << QByteArray("\xff\xfepc\x00\x80", 6);
    QTest::newRow("UTF-8 text, byte order mark kept")
        << QByteArray("\xef\xbb\xbf<p>Größe: [[ComputerName]]</p>") << name
        << QStringLiteral("Büro") << QByteArray("\xef\xbb\xbf<p>Größe: Büro</p>");
    QTest::newRow("non-ASCII letters match in either case")
        << QByteArray("\xef\xbb\xbf[[ÄRGER]] und [[ärger]]") << QStringLiteral("[[Ärger]]")
        << QStringLiteral("x") << QByteArray("\xef\xbb\xbfx und x");
    QTest::newRow("empty search text changes nothing")
        << QByteArray("abc") << QString() << QStringLiteral("x") << QByteArray("abc");
}

void TestReplaceInFile::replacesEveryOccurrence()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, searchText);
    QFETCH(QString, replacement);
    QFETCH(QByteArray, expected);
    const QString fileName = path(QStringLiteral("velmora.html"));
    QVERIFY(writeFile(fileName, content));

    ReplaceInFile(fileName, searchText, replacement);

    QCOMPARE(readFile(fileName), expected);
}

void TestReplaceInFile::fillsThePageTemplateInPlace()
{
    const QString fileName = path(QStringLiteral("velmora.html"));
    QVERIFY(writeFile(fileName, PageTemplate));

    ReplaceInFile(fileName, QStringLiteral("[[ComputerName]]"), QStringLiteral("OFFICE-PC"));
    ReplaceInFile(fileName, QStringLiteral("[[PublicIPAddress]]"), QStringLiteral("203.0.113.7"));
    ReplaceInFile(fileName, QStringLiteral("[[LocalIPAddress]]"), QStringLiteral("192.168.1.20"));

    QCOMPARE(readFile(fileName), QByteArray("<h1>OFFICE-PC</h1>\r\n<p>Public 203.0.113.7</p>\n"
                                            "<p>Local 192.168.1.20</p>\n"));
}

void TestReplaceInFile::fillsACopyAndLeavesTheTemplate()
{
    const QString templateName = path(QStringLiteral("velmora.html"));
    const QString target = path(QStringLiteral("upload.html"));
    QVERIFY(writeFile(templateName, PageTemplate));
    QVERIFY(writeFile(target, "an older, longer upload that must go entirely"));

    fillTemplateCopy(templateName, target,
                     {{QStringLiteral("[[ComputerName]]"), QStringLiteral("OFFICE-PC")},
                      {QStringLiteral("[[PublicIPAddress]]"), QStringLiteral("203.0.113.7")},
                      {QStringLiteral("[[LocalIPAddress]]"), QStringLiteral("192.168.1.20")}});

    QCOMPARE(readFile(target), QByteArray("<h1>OFFICE-PC</h1>\r\n<p>Public 203.0.113.7</p>\n"
                                          "<p>Local 192.168.1.20</p>\n"));
    QCOMPARE(readFile(templateName), PageTemplate);
}

// The new content replaces the file as a whole; the file must still look the
// same to the web server and to the user.
void TestReplaceInFile::rewriteKeepsTheFileMode()
{
    const QString fileName = path(QStringLiteral("velmora.html"));
    QVERIFY(writeFile(fileName, PageTemplate));
    const QFile::Permissions mode =
        QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
    QVERIFY(QFile::setPermissions(fileName, mode));

    ReplaceInFile(fileName, QStringLiteral("[[ComputerName]]"), QStringLiteral("pc"));

    QCOMPARE(QFile::permissions(fileName) & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
             mode);
}

void TestReplaceInFile::rewriteGoesThroughASymbolicLink()
{
    QVERIFY(QDir(m_folder->path()).mkdir(QStringLiteral("site")));
    const QString target = path(QStringLiteral("site/index.html"));
    const QString link = path(QStringLiteral("velmora.html"));
    QVERIFY(writeFile(target, "<b>[[ComputerName]]</b>"));
    QVERIFY(QFile::link(target, link));

    ReplaceInFile(link, QStringLiteral("[[ComputerName]]"), QStringLiteral("pc"));

    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(readFile(target), QByteArray("<b>pc</b>"));
}

void TestReplaceInFile::unreadableFileNamesItsFullPath_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("isFolder");
    QTest::addColumn<QString>("reason");
    // The page is looked for in the current folder by its bare name.
    QTest::newRow("missing") << QStringLiteral("velmora.html") << false
                             << QStringLiteral("No such file or directory");
    QTest::newRow("a folder by that name")
        << QStringLiteral("velmora.html") << true << QStringLiteral("Is a directory");
    QTest::newRow("relative path with dots") << QStringLiteral("sub/../velmora.html") << false
                                             << QStringLiteral("No such file or directory");
}

void TestReplaceInFile::unreadableFileNamesItsFullPath()
{
    QFETCH(QString, name);
    QFETCH(bool, isFolder);
    QFETCH(QString, reason);
    CurrentFolderGuard restore;
    QVERIFY(QDir::setCurrent(m_folder->path()));
    QVERIFY(QDir().mkdir(QStringLiteral("sub")));
    if (isFolder)
        QVERIFY(QDir().mkdir(name));

    QCOMPARE(errorOf([&] { ReplaceInFile(name, QStringLiteral("[[ComputerName]]"), {}); }),
             QStringLiteral("Cannot open file \"%1\". %2")
                 .arg(path(QStringLiteral("velmora.html")), reason));
}

void TestReplaceInFile::readOnlyFileKeepsItsContent()
{
    if (geteuid() == 0)
        QSKIP("root may write to read-only files; busyFileKeepsItsContent covers root");
    const QString fileName = path(QStringLiteral("velmora.html"));
    QVERIFY(writeFile(fileName, PageTemplate));
    QVERIFY(
        QFile::setPermissions(fileName, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));

    QCOMPARE(errorOf([&] {
                 ReplaceInFile(fileName, QStringLiteral("[[ComputerName]]"), QStringLiteral("pc"));
             }),
             QStringLiteral("Cannot create file \"%1\". Permission denied").arg(fileName));
    QCOMPARE(readFile(fileName), PageTemplate);
}

void TestReplaceInFile::busyFileKeepsItsContent()
{
    // A file that a running program was started from may be read but not
    // opened for writing, not even by root: the nearest thing to a locked file.
    const QString fileName = path(QStringLiteral("velmora.html"));
    QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), fileName));
    QVERIFY(
        QFile::setPermissions(fileName, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QByteArray before = readFile(fileName);
    QProcess running;
    running.start(fileName, {QStringLiteral("60")});
    if (!running.waitForStarted(testtime::scaled(5000)))
        QSKIP("cannot run a program from the temporary folder (mounted noexec?)");
    const int probe = ::open(QFile::encodeName(fileName).constData(), O_WRONLY);
    if (probe >= 0) {
        ::close(probe);
        running.kill();
        running.waitForFinished(testtime::scaled(5000));
        QSKIP("this system lets the file of a running program be written");
    }

    const QString error =
        errorOf([&] { ReplaceInFile(fileName, QStringLiteral("ELF"), QStringLiteral("elf")); });
    running.kill();
    running.waitForFinished(testtime::scaled(5000));

    QCOMPARE(error, QStringLiteral("Cannot create file \"%1\". Text file busy").arg(fileName));
    QVERIFY(readFile(fileName) == before);
}

void TestReplaceInFile::copyThatCannotBeCreatedLeavesTheTemplate_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("reason");
    QTest::newRow("folder missing")
        << QStringLiteral("missing/upload.html") << QStringLiteral("No such file or directory");
    QTest::newRow("a folder by that name")
        << QStringLiteral("upload.html") << QStringLiteral("Is a directory");
}

void TestReplaceInFile::copyThatCannotBeCreatedLeavesTheTemplate()
{
    QFETCH(QString, target);
    QFETCH(QString, reason);
    const QString templateName = path(QStringLiteral("velmora.html"));
    QVERIFY(writeFile(templateName, PageTemplate));
    if (!target.contains(QLatin1Char('/')))
        QVERIFY(QDir(m_folder->path()).mkdir(target));

    const QString error = errorOf([&] {
        fillTemplateCopy(templateName, path(target),
                         {{QStringLiteral("[[ComputerName]]"), QStringLiteral("pc")}});
    });

    QCOMPARE(error, QStringLiteral("Cannot create file \"%1\". %2").arg(path(target), reason));
    QCOMPARE(readFile(templateName), PageTemplate);
}

QTEST_GUILESS_MAIN(TestReplaceInFile)
#include "tst_replaceinfile.moc"
