// What assistive technologies and keyboard users find in the window and the dialogs: a
// name for every control the keyboard reaches, unique in its window, with the tooltip as
// its description; the switches' state; passwords shown as "*"; the focus always visible.
#include "MainFormFixture.h"
#include "shell/About.h"
#include "shell/Error.h"
#include "toolkit/OnOffSwitch.h"
#include "toolkit/SidePager.h"
#include "ui_AboutForm.h"
#include "ui_ErrorForm.h"
#include "ui_MainForm.h"

#include <QAccessible>
#include <QLineEdit>
#include <QSet>
#include <QtTest>

namespace {

enum class Window
{
    Main,
    About,
    Error
};

// The name a screen reader announces. For a drop-down list Qt on Linux gives the current
// item as the name and the label through the labelled-by relation, which is what is read.
QString spokenName(QAccessibleInterface* accessible)
{
    if (accessible->role() == QAccessible::ComboBox) {
        const auto labels = accessible->relations(QAccessible::Label);
        return labels.isEmpty() ? QString() : labels.first().first->text(QAccessible::Name);
    }
    return accessible->text(QAccessible::Name);
}

void collect(QAccessibleInterface* node, QSet<QWidget*>& widgets)
{
    if (auto* widget = qobject_cast<QWidget*>(node->object()))
        widgets.insert(widget);
    for (int i = 0; i < node->childCount(); ++i)
        if (QAccessibleInterface* child = node->child(i))
            collect(child, widgets);
}

// The control as the user sees it, with a few pixels around it where a focus frame shows.
QImage surroundings(QWidget* control)
{
    const QRect area = control->geometry().adjusted(-3, -3, 3, 3);
    return control->parentWidget()->grab(area).toImage();
}

bool reachedByTab(const QWidget* widget)
{
    return widget->focusPolicy() & Qt::TabFocus;
}

// Checks the names of the controls the keyboard reaches in a window as it shows now, and
// that the accessibility tree leads to each of them.
class NameCheck
{
public:
    explicit NameCheck(QWidget& window) : m_window(window) {}

    QStringList problems;

    void visibleControls()
    {
        QSet<QWidget*> inTree;
        collect(QAccessible::queryAccessibleInterface(&m_window), inTree);
        for (QWidget* control : m_window.findChildren<QWidget*>()) {
            if (!reachedByTab(control) || !control->isVisible() || control->window() != &m_window)
                continue;
            if (!inTree.contains(control))
                problems.append(control->objectName() + QStringLiteral(" is not in the tree"));
            name(control);
        }
    }

    // Hidden controls are named too, for when they show.
    void hiddenControls()
    {
        for (QWidget* control : m_window.findChildren<QWidget*>())
            if (reachedByTab(control) && !control->isVisible() && control->window() == &m_window)
                name(control);
    }

    qsizetype count() const { return m_names.size(); }

private:
    void name(QWidget* control)
    {
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
        const QString name = spokenName(accessible).trimmed();
        const QString id = control->objectName();
        if (name.isEmpty()) {
            problems.append(id + QStringLiteral(" has no name"));
            return;
        }
        const auto known = m_names.constFind(name.toLower());
        if (known != m_names.cend() && known.value() != control)
            problems.append(QStringLiteral("%1 and %2 are both \"%3\"")
                                .arg(id, known.value()->objectName(), name));
        m_names.insert(name.toLower(), control);
        if (!control->toolTip().isEmpty() &&
            accessible->text(QAccessible::Description) != control->toolTip())
            problems.append(id + QStringLiteral(" is not described by its tooltip"));
    }

    QWidget& m_window;
    QHash<QString, QWidget*> m_names;
};

} // namespace

class TestAccessibility : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyControlNamedOnce();
    void labelsNameTheirFields();
    void dialogsNameTheirControls_data();
    void dialogsNameTheirControls();
    void switchesNamedAndStated_data();
    void switchesNamedAndStated();
    void passwordsShowStars_data();
    void passwordsShowStars();
    void focusVisibleOnEveryControl();
    void focusVisibleInDialogs_data();
    void focusVisibleInDialogs();
};

void TestAccessibility::initTestCase()
{
    Q_INIT_RESOURCE(velmora);
}

void TestAccessibility::everyControlNamedOnce()
{
    MainFormFixture f;
    TFormMain& form = f.create();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    NameCheck check(form);
    for (int page = 0; page < f.ui().pageControl->count(); ++page) {
        form.pager().setCurrentIndex(page);
        check.visibleControls();
    }
    check.hiddenControls();
    QVERIFY2(check.problems.isEmpty(), qPrintable(check.problems.join(QLatin1Char('\n'))));
    QCOMPARE(check.count(), 49);
}

void TestAccessibility::labelsNameTheirFields()
{
    MainFormFixture f;
    TFormMain& form = f.create();
    int labelled = 0;
    for (QLabel* label : form.findChildren<QLabel*>()) {
        QWidget* field = label->buddy();
        if (!field)
            continue;
        ++labelled;
        // The label is what a screen reader reads for its field (relation "labelled by").
        const auto labels =
            QAccessible::queryAccessibleInterface(field)->relations(QAccessible::Label);
        QVERIFY2(!labels.isEmpty() && labels.first().first->object() == label,
                 qPrintable(field->objectName()));
    }
    QCOMPARE(labelled, 29);
}

void TestAccessibility::dialogsNameTheirControls_data()
{
    QTest::addColumn<Window>("which");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    QTest::newRow("About") << Window::About << "btnOK"
                           << "Close";
    QTest::newRow("Error") << Window::Error << "Memo1"
                           << "E-mail Sending Error";
}

void TestAccessibility::dialogsNameTheirControls()
{
    QFETCH(Window, which);
    QFETCH(QString, control);
    QFETCH(QString, name);
    RecordingShellActions shell;
    std::unique_ptr<QDialog> dialog;
    if (which == Window::About)
        dialog = std::make_unique<TFormAbout>(std::function<QDateTime()>());
    else
        dialog = std::make_unique<TFormError>(shell);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    NameCheck check(*dialog);
    check.visibleControls();
    QVERIFY2(check.problems.isEmpty(), qPrintable(check.problems.join(QLatin1Char('\n'))));
    QCOMPARE(check.count(), 1);
    QWidget* named = dialog->findChild<QWidget*>(control);
    QCOMPARE(spokenName(QAccessible::queryAccessibleInterface(named)), name);
}

void TestAccessibility::switchesNamedAndStated_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    QTest::newRow("e-mail") << "SwitchEmailAlerts"
                            << "Send Email Alerts";
    QTest::newRow("text") << "SwitchTextAlerts"
                          << "Send Text Alerts";
    QTest::newRow("program") << "SwitchRunProgram"
                             << "Run Program";
    QTest::newRow("FTP") << "SwitchFTP"
                         << "FTP Web Page";
    QTest::newRow("push") << "SwitchPushAlerts"
                          << "Send Push Alerts";
}

void TestAccessibility::switchesNamedAndStated()
{
    QFETCH(QString, control);
    QFETCH(QString, name);
    MainFormFixture f;
    TFormMain& form = f.create();
    auto* onOff = form.findChild<OnOffSwitch*>(control);
    QVERIFY(onOff);
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(onOff);
    QCOMPARE(accessible->text(QAccessible::Name), name);
    QVERIFY(accessible->state().checkable);
    QVERIFY(!accessible->state().checked); // the stored value is false
    QSignalSpy changes(onOff, &OnOffSwitch::stateChanged);
    onOff->setOn(true);
    QVERIFY(accessible->state().checked);
    QTest::keyClick(onOff, Qt::Key_Space);
    QVERIFY(!onOff->isOn());
    QVERIFY(!accessible->state().checked);
    accessible->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    QVERIFY(onOff->isOn());
    QVERIFY(accessible->state().checked);
    // The key and the assistive technology's toggle are the user's changes, setOn is not.
    QCOMPARE(changes.count(), 2);
}

void TestAccessibility::passwordsShowStars_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("page");
    QTest::newRow("SMTP") << "txtSMTPPassword" << int(TFormMain::EmailPage);
    QTest::newRow("FTP") << "txtFTPPassword" << int(TFormMain::FtpPage);
}

void TestAccessibility::passwordsShowStars()
{
    QFETCH(QString, field);
    QFETCH(int, page);
    MainFormFixture f;
    TFormMain& form = f.create();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.pager().setCurrentIndex(page);
    auto* password = form.findChild<QLineEdit*>(field);
    QVERIFY(!password->text().isEmpty());
    QCOMPARE(password->echoMode(), QLineEdit::Password);

    // The same field in plain text, once with stars and once with the dots styles draw.
    const auto plainLookalike = [password](QChar character) {
        QLineEdit lookalike(password->parentWidget());
        lookalike.setGeometry(password->geometry());
        lookalike.setEnabled(password->isEnabled());
        lookalike.setText(QString(password->text().size(), character));
        lookalike.show();
        return lookalike.grab().toImage();
    };
    const QImage shown = password->grab().toImage();
    QCOMPARE(shown, plainLookalike(u'*'));
    QVERIFY(shown != plainLookalike(QChar(0x25cf)));
}

void TestAccessibility::focusVisibleOnEveryControl()
{
    MainFormFixture f;
    TFormMain& form = f.create();
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QStringList unseen;
    QSet<QWidget*> visited;
    for (int page : {0, 1, 2, 5, 6, 7}) {
        form.pager().setCurrentIndex(page);
        f.ui().tabList->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(f.ui().tabList, Qt::Key_Tab);
        // Round the Tab chain once, as a keyboard user does; each control must look
        // different with the focus than without it.
        QWidget* first = QApplication::focusWidget();
        for (int step = 0; step < 40; ++step) {
            QWidget* current = QApplication::focusWidget();
            const QImage focused = surroundings(current);
            QTest::keyClick(current, Qt::Key_Tab);
            QVERIFY2(QApplication::focusWidget() != current, qPrintable(current->objectName()));
            if (surroundings(current) == focused)
                unseen.append(current->objectName());
            visited.insert(current);
            if (QApplication::focusWidget() == first)
                break;
        }
    }
    QVERIFY2(unseen.isEmpty(), qPrintable(unseen.join(QLatin1Char(' '))));
    // The tab strip, the three switches, OK and Cancel (Apply is disabled); six controls on
    // the Email page (the login fields are disabled), three on the Text Message page, the
    // four boxes of the Options page, three on the History Log page, and on the Push
    // page, for a web request of the user's own, the two lists, the URL, the method, the
    // headers, the message, the certificate file, the preview and the test button.
    QCOMPARE(visited.size(), 6 + 6 + 3 + 4 + 3 + 9);
}

void TestAccessibility::focusVisibleInDialogs_data()
{
    QTest::addColumn<Window>("which");
    QTest::newRow("About") << Window::About;
    QTest::newRow("Error") << Window::Error;
}

void TestAccessibility::focusVisibleInDialogs()
{
    QFETCH(Window, which);
    RecordingShellActions shell;
    std::unique_ptr<QDialog> dialog;
    if (which == Window::About)
        dialog = std::make_unique<TFormAbout>(std::function<QDateTime()>());
    else
        dialog = std::make_unique<TFormError>(shell);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    // Each dialog has one control the keyboard reaches; Tab keeps the focus there.
    QWidget* control = QApplication::focusWidget();
    QVERIFY(control);
    QTest::keyClick(control, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), control);
    const QImage focused = surroundings(control);
    control->clearFocus();
    QVERIFY(surroundings(control) != focused);
}

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
