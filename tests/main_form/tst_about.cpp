#include "MainFormFixture.h"
#include "shell/About.h"
#include "ui_AboutForm.h"
#include "ui_MainForm.h"

#include <QApplication>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

namespace {

// Looks into each About box the window opens, from inside its modal loop, then
// closes it unless the look closed it already; so no test waits on the box.
class AboutBoxWatcher : public QObject
{
public:
    using Look = std::function<void(TFormAbout&)>;

    explicit AboutBoxWatcher(Look look) : m_look(std::move(look))
    {
        qApp->installEventFilter(this);
    }

    QList<QPointer<TFormAbout>> seen;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* box = qobject_cast<TFormAbout*>(watched);
        if (box && event->type() == QEvent::Show && !seen.contains(box)) {
            seen.append(box);
            QPointer<TFormAbout> guard(box);
            QMetaObject::invokeMethod(
                this,
                [this, guard] {
                    if (guard)
                        m_look(*guard);
                    if (guard && guard->isVisible())
                        guard->reject();
                },
                Qt::QueuedConnection);
        }
        return false;
    }

private:
    Look m_look;
};

QAction* aboutEntry(TFormMain& form)
{
    return form.helpMenu()->findChild<QAction*>(QStringLiteral("About2"));
}

} // namespace

class TestAbout : public QObject
{
    Q_OBJECT

private slots:
    void versionText_data();
    void versionText();
    void boxShowsNameVersionAndYear();
    void enterClosesTheBox();
    void yearWorkedOutAtEachShowing();
    void helpMenuEntries();
    void webLinks_data();
    void webLinks();
};

void TestAbout::versionText_data()
{
    QTest::addColumn<QByteArray>("compiled");
    QTest::addColumn<bool>("none");
    QTest::addColumn<QString>("shown");

    QTest::newRow("four parts") << QByteArray("2.1.0.15") << false << "2.1.0.15";
    QTest::newRow("no version set") << QByteArray("") << false << "";
    QTest::newRow("no version text") << QByteArray() << true << "";
    QTest::newRow("two parts") << QByteArray("2.1") << false << "2.1.0.0";
    QTest::newRow("largest parts") << QByteArray("65535.0.65535.1") << false << "65535.0.65535.1";
    QTest::newRow("leading zeros") << QByteArray("02.01.0.0") << false << "2.1.0.0";
    QTest::newRow("part too large") << QByteArray("65536.0.0.0") << false << "";
    QTest::newRow("five parts") << QByteArray("1.2.3.4.5") << false << "";
    QTest::newRow("not a number") << QByteArray("1.x.0.0") << false << "";
    QTest::newRow("empty part") << QByteArray("1..0.0") << false << "";
}

void TestAbout::versionText()
{
    QFETCH(QByteArray, compiled);
    QFETCH(bool, none);
    QFETCH(QString, shown);
    QCOMPARE(GetAppVersion(none ? nullptr : compiled.constData()), shown);
}

void TestAbout::boxShowsNameVersionAndYear()
{
    MainFormFixture f;
    TFormMain& form = f.create();
    form.show();
    AboutBoxWatcher watcher([&form](TFormAbout& box) {
        QCOMPARE(QApplication::activeModalWidget(), &box);
        QCOMPARE(box.windowTitle(), QString("About - Velmora"));
        QCOMPARE(box.size(), QSize(448, 330));
        QCOMPARE(box.minimumSize(), box.maximumSize());
        QCOMPARE(box.ui().lblApplicationName->text(), QString("Velmora"));
        QVERIFY(box.ui().lblApplicationName->font().bold());
        QCOMPARE(box.ui().lblApplicationName->pos(), QPoint(195, 16));
        QCOMPARE(box.ui().lblVersion->text(), QString("Version: ") + GetAppVersion());
        QCOMPARE(box.ui().lblVersion->pos(), QPoint(195, 40));
        QCOMPARE(box.ui().lblCopyright->text(), QString::fromUtf8("Copyright \u00a9 2026 Velmora"));
        QCOMPARE(box.ui().Image1->geometry(), QRect(0, 0, 175, 330));
        QVERIFY(!box.ui().Image1->pixmap().isNull());
        QCOMPARE(box.ui().btnOK->text(), QString("Close"));
        QCOMPARE(box.ui().btnOK->geometry(), QRect(340, 295, 89, 25));
        QVERIFY(box.ui().btnOK->isDefault());
        // Centred over the main window.
        QVERIFY((box.frameGeometry().center() - form.frameGeometry().center()).manhattanLength() <=
                2);
        QTest::mouseClick(box.ui().btnOK, Qt::LeftButton);
        QCOMPARE(box.result(), int(QDialog::Accepted));
        QVERIFY(!box.isVisible());
    });
    aboutEntry(form)->trigger();
    QCOMPARE(watcher.seen.size(), 1);
    // The box is gone once closed.
    QVERIFY(watcher.seen[0].isNull());
    QVERIFY(f.dialogs.shown.isEmpty());
}

void TestAbout::enterClosesTheBox()
{
    MainFormFixture f;
    TFormMain& form = f.create();
    form.show();
    int result = -1;
    AboutBoxWatcher watcher([&result](TFormAbout& box) {
        QTest::keyClick(&box, Qt::Key_Return);
        result = box.isVisible() ? -1 : box.result();
    });
    aboutEntry(form)->trigger();
    QCOMPARE(result, int(QDialog::Accepted));
}

void TestAbout::yearWorkedOutAtEachShowing()
{
    MainFormFixture f;
    f.now = QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59));
    TFormMain& form = f.create();
    QStringList lines;
    AboutBoxWatcher watcher(
        [&lines](TFormAbout& box) { lines.append(box.ui().lblCopyright->text()); });
    aboutEntry(form)->trigger();
    f.now = QDateTime(QDate(2027, 1, 1), QTime(0, 0, 1));
    aboutEntry(form)->trigger();
    QCOMPARE(lines, (QStringList{QString::fromUtf8("Copyright \u00a9 2026 Velmora"),
                                 QString::fromUtf8("Copyright \u00a9 2027 Velmora")}));
    QCOMPARE(watcher.seen.size(), 2);
}

void TestAbout::helpMenuEntries()
{
    MainFormFixture f;
    TFormMain& form = f.create();
    QStringList entries;
    for (QAction* action : form.helpMenu()->actions())
        entries.append(action->isSeparator() ? "-" : action->text());
    QCOMPARE(entries, (QStringList{"&Help && Documentation", "-", "Visit Web Site", "&About", "-",
                                   "E&xit"}));
    QCOMPARE(f.ui().AdvGlowButton4->menu(), form.helpMenu());
}

void TestAbout::webLinks_data()
{
    QTest::addColumn<int>("entry");
    QTest::addColumn<QUrl>("url");
    QTest::newRow("documentation")
        << 0 << QUrl("https://" VELMORA_SITE_HOST "/products/velmora/documentation/");
    QTest::newRow("web site") << 2 << QUrl("https://" VELMORA_SITE_HOST "/");
}

void TestAbout::webLinks()
{
    QFETCH(int, entry);
    QFETCH(QUrl, url);
    MainFormFixture f;
    TFormMain& form = f.create();
    form.show();
    form.helpMenu()->actions().at(entry)->trigger();
    QCOMPARE(f.shell.urls, QList<QUrl>{url});
    QVERIFY(url.isValid());
    QVERIFY(f.dialogs.shown.isEmpty());
    QVERIFY(form.isVisible());
}

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
