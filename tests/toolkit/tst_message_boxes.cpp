#include "toolkit/MessageBoxDialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

// The real message boxes, answered from the keyboard and the window's close box
// as a user answers them.
class TestMessageBoxes : public QObject
{
    Q_OBJECT

private slots:
    void questionAnswers_data();
    void questionAnswers();
};

namespace {

// Runs the steps one after the other against the open box, one per tick, and
// gives up (pressing its last button) if the box stays open too long. The timer
// lives as long as the test that holds it.
std::unique_ptr<QTimer> whileTheBoxIsOpen(const QList<std::function<void(QMessageBox&)>>& steps)
{
    auto timer = std::make_unique<QTimer>();
    auto next = std::make_shared<qsizetype>(0);
    auto ticks = std::make_shared<int>(0);
    QObject::connect(timer.get(), &QTimer::timeout, [next, ticks, steps] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        if (++*ticks > 100 || *next == steps.size())
            box->buttons().last()->click();
        else
            steps[(*next)++](*box);
    });
    timer->start(20);
    return timer;
}

void pressEscape(QMessageBox& box)
{
    QTest::keyClick(&box, Qt::Key_Escape);
}

void closeByWindow(QMessageBox& box)
{
    box.close();
}

void pressReturn(QMessageBox& box)
{
    QTest::keyClick(&box, Qt::Key_Return);
}

void pressNo(QMessageBox& box)
{
    box.button(QMessageBox::No)->click();
}

} // namespace

void TestMessageBoxes::questionAnswers_data()
{
    using Step = std::function<void(QMessageBox&)>;
    QTest::addColumn<bool>("escapeAnswersNo");
    QTest::addColumn<QList<Step>>("steps");
    QTest::addColumn<bool>("answer");

    // A question that must be answered: Escape and the close box are turned away,
    // and only the button pressed after them answers.
    QTest::newRow("must answer: Escape, then Return")
        << false << QList<Step>{pressEscape, pressReturn} << true;
    QTest::newRow("must answer: close box, then No")
        << false << QList<Step>{closeByWindow, pressNo} << false;
    QTest::newRow("must answer: Return is Yes") << false << QList<Step>{pressReturn} << true;
    QTest::newRow("may dismiss: Escape is No") << true << QList<Step>{pressEscape} << false;
    QTest::newRow("may dismiss: close box is No") << true << QList<Step>{closeByWindow} << false;
}

void TestMessageBoxes::questionAnswers()
{
    using Step = std::function<void(QMessageBox&)>;
    QFETCH(bool, escapeAnswersNo);
    QFETCH(QList<Step>, steps);
    QFETCH(bool, answer);
    MessageBoxDialogs dialogs(QStringLiteral("velmora"));
    Question question;
    question.text = QStringLiteral("Save?");
    question.escapeAnswersNo = escapeAnswersNo;
    const auto answering = whileTheBoxIsOpen(steps);
    QCOMPARE(dialogs.question(question), answer);
}

QTEST_MAIN(TestMessageBoxes)
#include "tst_message_boxes.moc"
