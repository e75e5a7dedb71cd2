#include "ModalDialogProbe.h"
#include "shell/Error.h"
#include "support/TestTime.h"
#include "toolkit/DesktopShellActions.h"
#include "ui_ErrorForm.h"

#include <QClipboard>
#include <QScrollBar>
#include <QTextBlock>
#include <QtTest>

namespace {

// Several hundred lines, one of them far wider than the memo.
QString longErrorText()
{
    QStringList lines;
    for (int n = 1; n <= 400; ++n)
        lines.append(QStringLiteral("line %1: < 250 OK").arg(n));
    lines[199] = QStringLiteral("wide line ") + QString(500, u'x') + QStringLiteral(" end");
    return lines.join(u'\n');
}

int blockAtViewportPoint(QPlainTextEdit* memo, QPoint point)
{
    return memo->cursorForPosition(point).blockNumber();
}

} // namespace

class TestErrorDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void formDescription();
    void controlsPlacedAsDescribed_data();
    void controlsPlacedAsDescribed();
    void memoHasTheFocusAndIsTheOnlyTabStop();
    void longTextOpensAtTheTopAndScrollsToEveryEnd();
    void secondShowingShowsOnlyTheSecondText();
    void copyPutsTheWholeTextOnTheClipboard_data();
    void copyPutsTheWholeTextOnTheClipboard();
    void centredOverTheWindowWithinTheDesktop_data();
    void centredOverTheWindowWithinTheDesktop();
    void onlyCloseAndTheCloseBoxEndIt();

private:
    DesktopShellActions m_shell;
};

void TestErrorDialog::initTestCase()
{
    // The pictures live with the window's resources, as in the program.
    Q_INIT_RESOURCE(velmora);
}

void TestErrorDialog::formDescription()
{
    TFormError dialog(m_shell);
    QCOMPARE(dialog.windowTitle(), QString("Error Message"));
    QCOMPARE(dialog.size(), QSize(360, 380));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    const Qt::WindowFlags flags = dialog.windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));

    Ui::TFormError& ui = dialog.ui();
    QCOMPARE(ui.StaticText1->text(), QString("E-mail Sending Error"));
    QVERIFY(ui.StaticText1->font().bold());
    QVERIFY(ui.StaticText2->text().startsWith(
        "Please check your email settings. If you keep receiving this error please copy the "
        "message below and send it to: "));
    QVERIFY(ui.StaticText2->text().contains(u'@'));
    QVERIFY(ui.StaticText2->wordWrap());
    QCOMPARE(ui.AdvGlowButton1->text(), QString("Copy Error Message"));
    QVERIFY(!ui.AdvGlowButton1->icon().isNull());
    QCOMPARE(ui.AdvGlowButton1->iconSize(), QSize(16, 16));
    QCOMPARE(ui.AdvGlowButton2->text(), QString("Close"));
    QVERIFY(!ui.AdvOfficeImage2->pixmap().isNull());

    QPlainTextEdit* memo = ui.Memo1;
    QVERIFY(memo->isReadOnly());
    QCOMPARE(memo->lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(memo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(dialog.font().family(), QString("Tahoma"));
    QCOMPARE(dialog.font().pointSize(), 8);

    // The background shows where no control covers the dialog.
    dialog.ensurePolished();
    const QImage picture = dialog.grab().toImage();
    QCOMPARE(picture.pixelColor(352, 4), QColor(226, 231, 239));
}

void TestErrorDialog::controlsPlacedAsDescribed_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("picture") << "AdvOfficeImage2" << QRect(13, 8, 48, 48);
    QTest::newRow("explanation") << "StaticText2" << QRect(80, 34, 264, 47);
    QTest::newRow("memo") << "Memo1" << QRect(13, 87, 331, 239);
    QTest::newRow("copy") << "AdvGlowButton1" << QRect(13, 342, 140, 25);
    QTest::newRow("close") << "AdvGlowButton2" << QRect(269, 342, 75, 25);
}

void TestErrorDialog::controlsPlacedAsDescribed()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    TFormError dialog(m_shell);
    auto* control = dialog.findChild<QWidget*>(name);
    QVERIFY(control);
    QCOMPARE(control->geometry(), geometry);
}

void TestErrorDialog::memoHasTheFocusAndIsTheOnlyTabStop()
{
    TFormError dialog(m_shell);
    QPlainTextEdit* memo = dialog.ui().Memo1;
    // The heading is as wide as its text needs, 118 at least.
    QLabel* heading = dialog.ui().StaticText1;
    QCOMPARE(heading->pos(), QPoint(80, 11));
    QVERIFY(heading->width() >= 118);
    QVERIFY(heading->fontMetrics().horizontalAdvance(heading->text()) <= heading->width());

    QStringList tabStops;
    bool checked = false;
    ModalDialogProbe probe(dialog, [&](QDialog&) {
        QTRY_COMPARE(QApplication::focusWidget(), memo);
        for (QWidget* child : dialog.findChildren<QWidget*>())
            if (child->isVisibleTo(&dialog) && (child->focusPolicy() & Qt::TabFocus))
                tabStops.append(child->objectName());
        QTest::keyClick(memo, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), memo);
        QCOMPARE(memo->toPlainText(), QString("one\ntwo"));
        checked = true;
    });
    dialog.showError("one\ntwo", nullptr);
    QVERIFY(checked);
    QCOMPARE(tabStops, QStringList{"Memo1"});
    for (QPushButton* button : {dialog.ui().AdvGlowButton1, dialog.ui().AdvGlowButton2}) {
        QVERIFY(!button->isDefault());
        QVERIFY(!button->autoDefault());
    }
}

void TestErrorDialog::longTextOpensAtTheTopAndScrollsToEveryEnd()
{
    TFormError dialog(m_shell);
    QPlainTextEdit* memo = dialog.ui().Memo1;
    const QString text = longErrorText();
    bool checked = false;
    ModalDialogProbe probe(dialog, [&](QDialog&) {
        QScrollBar* vertical = memo->verticalScrollBar();
        QScrollBar* horizontal = memo->horizontalScrollBar();
        QCOMPARE(memo->toPlainText(), text);
        QCOMPARE(vertical->value(), 0);
        QCOMPARE(horizontal->value(), 0);
        QCOMPARE(blockAtViewportPoint(memo, QPoint(2, 2)), 0);
        QVERIFY(vertical->isVisible());
        QVERIFY(horizontal->isVisible());

        // The vertical bar reaches the last line, the horizontal one the widest line's end.
        vertical->setValue(vertical->maximum());
        const int viewportHeight = memo->viewport()->height();
        QCOMPARE(blockAtViewportPoint(memo, QPoint(2, viewportHeight - 2)), 399);
        QTextCursor lastLine(memo->document()->lastBlock());
        QVERIFY(memo->cursorRect(lastLine).bottom() <= viewportHeight);
        horizontal->setValue(horizontal->maximum());
        QTextCursor wideLineEnd(memo->document()->findBlockByNumber(199));
        wideLineEnd.movePosition(QTextCursor::EndOfBlock);
        const QRect end = memo->cursorRect(wideLineEnd);
        QVERIFY(end.left() >= 0);
        QVERIFY2(end.right() <= memo->viewport()->width(),
                 qPrintable(QString::number(end.right())));
        checked = true;
    });
    dialog.showError(text, nullptr);
    QVERIFY(checked);
}

void TestErrorDialog::secondShowingShowsOnlyTheSecondText()
{
    TFormError dialog(m_shell);
    QPlainTextEdit* memo = dialog.ui().Memo1;
    QString seen;
    int verticalAtOpen = -1;
    int horizontalAtOpen = -1;
    ModalDialogProbe probe(dialog, [&](QDialog&) {
        seen = memo->toPlainText();
        verticalAtOpen = memo->verticalScrollBar()->value();
        horizontalAtOpen = memo->horizontalScrollBar()->value();
        // Leave the first text scrolled to its far corner.
        memo->verticalScrollBar()->setValue(memo->verticalScrollBar()->maximum());
        memo->horizontalScrollBar()->setValue(memo->horizontalScrollBar()->maximum());
    });
    dialog.showError(longErrorText(), nullptr);
    QVERIFY(dialog.isHidden());
    const QString second = QStringLiteral("wide second ") + QString(300, u'y') + "\nlast line";
    dialog.showError(second, nullptr);
    QCOMPARE(probe.shows(), 2);
    QCOMPARE(seen, second);
    QCOMPARE(memo->document()->blockCount(), 2);
    QCOMPARE(verticalAtOpen, 0);
    QCOMPARE(horizontalAtOpen, 0);
}

void TestErrorDialog::copyPutsTheWholeTextOnTheClipboard_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty memo") << "";
    QTest::newRow("one line") << "535 5.7.8 Authentication credentials invalid";
    QTest::newRow("several lines") << longErrorText();
}

void TestErrorDialog::copyPutsTheWholeTextOnTheClipboard()
{
    QFETCH(QString, text);
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText(QStringLiteral("what was there before"));
    TFormError dialog(m_shell);
    QPlainTextEdit* memo = dialog.ui().Memo1;
    QStringList copies;
    ModalDialogProbe probe(dialog, [&](QDialog&) {
        // A selection does not narrow what is copied.
        QTextCursor selection(memo->document());
        selection.movePosition(QTextCursor::Right, QTextCursor::KeepAnchor, 3);
        memo->setTextCursor(selection);
        for (int n = 0; n < 2; ++n) {
            QTest::mouseClick(dialog.ui().AdvGlowButton1, Qt::LeftButton);
            copies.append(clipboard->text());
        }
        QVERIFY(dialog.isVisible()); // copying leaves the dialog open
        QCOMPARE(memo->toPlainText(), text);
    });
    dialog.showError(text, nullptr);
    QCOMPARE(copies, (QStringList{text, text}));
}

void TestErrorDialog::centredOverTheWindowWithinTheDesktop_data()
{
    QTest::addColumn<QRect>("window");
    QTest::addColumn<QPoint>("expected");
    QTest::newRow("centred") << QRect(100, 60, 638, 515) << QPoint(100 + 319 - 180, 60 + 257 - 190);
    QTest::newRow("small window near the corner") << QRect(10, 20, 200, 100) << QPoint(0, 0);
    QTest::newRow("window off the left edge") << QRect(-600, 100, 638, 515) << QPoint(0, 167);
}

void TestErrorDialog::centredOverTheWindowWithinTheDesktop()
{
    QFETCH(QRect, window);
    QFETCH(QPoint, expected);
    QWidget owner;
    owner.setGeometry(window);
    TFormError dialog(m_shell);
    QPoint shownAt(-1, -1);
    ModalDialogProbe probe(dialog, [&](QDialog&) { shownAt = dialog.frameGeometry().topLeft(); });
    dialog.showError("text", &owner);
    QCOMPARE(shownAt, expected);
}

void TestErrorDialog::onlyCloseAndTheCloseBoxEndIt()
{
    TFormError dialog(m_shell);
    QList<bool> openAfterKeys;
    int shows = 0;
    ModalDialogProbe probe(dialog, [&](QDialog&) {
        ++shows;
        // No default and no cancel button: Enter and Escape close nothing.
        QTest::keyClick(dialog.ui().Memo1, Qt::Key_Return);
        QTest::keyClick(dialog.ui().Memo1, Qt::Key_Escape);
        openAfterKeys.append(dialog.isVisible());
        if (shows == 1)
            QTest::mouseClick(dialog.ui().AdvGlowButton2, Qt::LeftButton);
        else
            dialog.close();
        openAfterKeys.append(dialog.isVisible());
    });
    dialog.showError("first", nullptr);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    dialog.showError("second", nullptr);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(openAfterKeys, (QList<bool>{true, false, true, false}));
}

QTEST_MAIN(TestErrorDialog)
#include "tst_error_dialog.moc"
