// What the user sees of the window and the dialogs under light and dark palettes and
// at growing font sizes: every text whole, nothing overlapping, every text legible.
#include "MainFormFixture.h"
#include "shell/About.h"
#include "shell/Error.h"
#include "support/TestTime.h"
#include "toolkit/FormColours.h"
#include "toolkit/FormFont.h"
#include "toolkit/SidePager.h"
#include "toolkit/TabStrip.h"
#include "ui_AboutForm.h"
#include "ui_ErrorForm.h"
#include "ui_MainForm.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFocusFrame>
#include <QHash>
#include <QHeaderView>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QtTest>

namespace {

// A dark palette as a dark desktop theme (Breeze Dark) hands it to the application.
QPalette darkPalette()
{
    const QColor window(42, 46, 50);
    const QColor text(252, 252, 252);
    const QColor base(27, 30, 32);
    const QColor button(49, 54, 59);
    const QColor dimmed(110, 113, 115);
    QPalette p(button, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, QColor(35, 38, 41));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Highlight, QColor(61, 174, 233));
    p.setColor(QPalette::HighlightedText, text);
    p.setColor(QPalette::ToolTipBase, window);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, QColor(161, 169, 177));
    p.setColor(QPalette::Disabled, QPalette::WindowText, dimmed);
    p.setColor(QPalette::Disabled, QPalette::Text, dimmed);
    p.setColor(QPalette::Disabled, QPalette::ButtonText, dimmed);
    return p;
}

QString describe(const QWidget* widget)
{
    return widget->objectName().isEmpty() ? QString::fromLatin1(widget->metaObject()->className())
                                          : widget->objectName();
}

QString describe(const QSize& size)
{
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

QStyleOptionButton buttonOption(const QAbstractButton* button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    option.icon = button->icon();
    option.iconSize = button->iconSize();
    if (const auto* push = qobject_cast<const QPushButton*>(button)) {
        if (push->autoDefault())
            option.features |= QStyleOptionButton::AutoDefaultButton;
        if (push->isDefault())
            option.features |= QStyleOptionButton::DefaultButton;
    }
    return option;
}

// Looks at one window as rendered and lists what a user would find wrong with it.
class Inspection
{
public:
    explicit Inspection(QWidget& window) : m_window(window), m_image(window.grab().toImage()) {}

    QStringList problems;

    // The controls laid out directly on a surface (a page, a band, a dialog).
    void surface(const QWidget* surface)
    {
        QList<const QWidget*> controls;
        // A focus frame is drawn around its control on purpose.
        for (const QWidget* child : surface->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (child->isVisible() && !child->isWindow() &&
                !qobject_cast<const QFocusFrame*>(child))
                controls.append(child);
        for (qsizetype i = 0; i < controls.size(); ++i) {
            const QWidget* control = controls[i];
            if (!surface->rect().contains(control->geometry()))
                report(control, QStringLiteral("reaches out of %1").arg(describe(surface)));
            for (qsizetype j = i + 1; j < controls.size(); ++j)
                if (control->geometry().intersects(controls[j]->geometry()))
                    report(control, QStringLiteral("overlaps %1").arg(describe(controls[j])));
            whole(control);
        }
    }

    void tabs(const TabStrip* strip)
    {
        for (int row = 0; row < strip->count(); ++row) {
            if (strip->isRowHidden(row))
                continue;
            const QListWidgetItem* item = strip->item(row);
            const bool selected = item->isSelected();
            const QRect tab = strip->visualItemRect(item);
            QFont font = strip->font();
            font.setBold(selected);
            const int captionWidth = QFontMetrics(font).horizontalAdvance(item->text());
            const int pictureRoom = strip->iconSize().width() + 8;
            if (tab.width() < pictureRoom + captionWidth || tab.right() >= strip->width())
                report(strip, QStringLiteral("cuts the caption \"%1\"").arg(item->text()));
            const QRect caption = tab.adjusted(pictureRoom, 3, -3, -3);
            const QColor ink =
                strip->palette().color(selected ? QPalette::HighlightedText : QPalette::Text);
            legible(strip, QRect(strip->mapTo(&m_window, caption.topLeft()), caption.size()), ink,
                    item->text());
        }
    }

private:
    void report(const QWidget* widget, const QString& problem)
    {
        problems.append(describe(widget) + QLatin1Char(' ') + problem);
    }

    QRect inWindow(const QWidget* widget, const QRect& rect) const
    {
        return QRect(widget->mapTo(&m_window, rect.topLeft()), rect.size());
    }

    // The control is at least as large as it says it must be, and its text fits the
    // room its style gives the text.
    void whole(const QWidget* control)
    {
        // Push buttons are drawn narrower than some styles' smallest button; for them it
        // is the caption that must fit.
        const QSize least = control->minimumSizeHint();
        if (!qobject_cast<const QPushButton*>(control) && least.isValid() &&
            (control->width() < least.width() || control->height() < least.height()))
            report(
                control,
                QStringLiteral("is %1, needs %2").arg(describe(control->size()), describe(least)));

        if (const auto* label = qobject_cast<const QLabel*>(control)) {
            if (label->text().isEmpty())
                return;
            const QRect room = label->contentsRect();
            const QFontMetrics metrics = label->fontMetrics();
            const QSize needed = label->wordWrap()
                                     ? metrics
                                           .boundingRect(QRect(0, 0, room.width(), 100000),
                                                         Qt::TextWordWrap, label->text())
                                           .size()
                                     : metrics.size(Qt::TextSingleLine, label->text());
            fits(label, needed, room);
            if (label->isEnabled())
                legible(label, inWindow(label, room),
                        label->palette().color(label->foregroundRole()), label->text());
        } else if (const auto* box = qobject_cast<const QCheckBox*>(control)) {
            const QStyleOptionButton option = buttonOption(box);
            const QRect room =
                box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
            fits(box, box->fontMetrics().size(Qt::TextShowMnemonic, box->text()), room);
            if (box->isEnabled())
                legible(box, inWindow(box, room), box->palette().color(box->foregroundRole()),
                        box->text());
        } else if (const auto* button = qobject_cast<const QPushButton*>(control)) {
            const QStyleOptionButton option = buttonOption(button);
            const QRect room =
                button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
            QSize needed = button->fontMetrics().size(Qt::TextShowMnemonic, button->text());
            if (!button->icon().isNull())
                needed.rwidth() += button->iconSize().width() + 4;
            fits(button, needed, room);
        }
    }

    void fits(const QWidget* control, const QSize& needed, const QRect& room)
    {
        if (needed.width() > room.width() || needed.height() > room.height())
            report(control, QStringLiteral("clips its text: needs %1 in %2")
                                .arg(describe(needed), describe(room.size())));
    }

    // The text's colour against the background actually painted behind it (the most
    // common colour in the text's room), and the darkest or brightest ink painted there.
    void legible(const QWidget* control, const QRect& room, const QColor& text,
                 const QString& caption)
    {
        QHash<QRgb, int> counts;
        // The picture has the screen's pixels, the room the window's.
        const qreal scale = m_image.devicePixelRatio();
        const QRect pixels(QPoint(qCeil(room.left() * scale), qCeil(room.top() * scale)),
                           QPoint(qFloor((room.right() + 1) * scale) - 1,
                                  qFloor((room.bottom() + 1) * scale) - 1));
        const QRect area = pixels.intersected(m_image.rect());
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                ++counts[m_image.pixel(x, y)];
        QRgb background = 0;
        int most = -1;
        for (auto it = counts.cbegin(); it != counts.cend(); ++it)
            if (it.value() > most)
                most = it.value(), background = it.key();
        qreal ink = 1;
        for (auto it = counts.cbegin(); it != counts.cend(); ++it)
            ink = qMax(ink, contrastRatio(QColor(it.key()), QColor(background)));
        const qreal ratio = contrastRatio(text, QColor(background));
        if (ratio < 4.5 || ink < 4.5)
            report(control, QStringLiteral("\"%1\": text %2 on %3, contrast %4 (ink %5)")
                                .arg(caption, text.name(), QColor(background).name())
                                .arg(ratio, 0, 'f', 2)
                                .arg(ink, 0, 'f', 2));
    }

    QWidget& m_window;
    QImage m_image;
};

} // namespace

class TestFormLook : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void everyTextWholeAndLegible_data();
    void everyTextWholeAndLegible();
    void followsTheDesktopWhileOpen();

private:
    QFont m_desktopFont;
    QPalette m_desktopPalette;
};

void TestFormLook::initTestCase()
{
    Q_INIT_RESOURCE(velmora);
    m_desktopFont = QApplication::font();
    m_desktopPalette = QApplication::palette();
}

void TestFormLook::cleanup()
{
    QApplication::setFont(m_desktopFont);
    QApplication::setPalette(m_desktopPalette);
}

void TestFormLook::everyTextWholeAndLegible_data()
{
    QTest::addColumn<bool>("dark");
    QTest::addColumn<qreal>("points");
    for (const bool dark : {false, true})
        for (const qreal points : {8.0, 10.0, 12.0, 14.0, 16.0})
            QTest::addRow("%s %g pt", dark ? "dark" : "light", points) << dark << points;
}

void TestFormLook::everyTextWholeAndLegible()
{
    QFETCH(bool, dark);
    QFETCH(qreal, points);
    QFont desktopFont = m_desktopFont;
    desktopFont.setPointSizeF(points);
    QApplication::setFont(desktopFont);
    QApplication::setPalette(dark ? darkPalette() : m_desktopPalette);

    MainFormFixture f;
    QFile log(f.folder.filePath("velmora.log"));
    QVERIFY(log.open(QIODevice::WriteOnly));
    log.write("2026-12-28 23:58:59,255.255.255.255,192.168.100.200\r\n");
    log.close();
    TFormMain& form = f.create();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    Ui::TFormMain& ui = f.ui();
    // The window's text follows the desktop's size, down to the labels on its pages.
    QCOMPARE(ui.lblEmail->font().pointSizeF(), formFont(desktopFont).pointSizeF());
    QStringList problems;
    for (int page = 0; page < ui.pageControl->count(); ++page) {
        form.pager().setCurrentIndex(page);
        QApplication::processEvents();
        Inspection look(form);
        look.surface(&form);
        look.surface(ui.pnlHeader);
        look.surface(ui.pnlButtons);
        look.surface(ui.pageControl->widget(page));
        look.tabs(ui.tabList);
        for (const QString& problem : std::as_const(look.problems))
            problems.append(QStringLiteral("page %1: %2").arg(page).arg(problem));
    }
    // The history list shows each date and address whole.
    form.pager().setCurrentIndex(TFormMain::LogPage);
    QApplication::processEvents();
    const int textMargins = 2 * (ui.lvLog->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
    QCOMPARE(ui.lvLog->model()->rowCount(), 1);
    for (int column = 0; column < 3; ++column) {
        const QString text = ui.lvLog->model()->index(0, column).data().toString();
        const int needed = ui.lvLog->fontMetrics().horizontalAdvance(text) + textMargins;
        if (needed > ui.lvLog->columnWidth(column))
            problems.append(QStringLiteral("history column %1 clips \"%2\": needs %3 in %4")
                                .arg(column)
                                .arg(text)
                                .arg(needed)
                                .arg(ui.lvLog->columnWidth(column)));
    }
    if (ui.lvLog->horizontalHeader()->length() > ui.lvLog->viewport()->width())
        problems.append(QStringLiteral("the history list is narrower than its columns"));
    // The window takes the size its layout asks for, and keeps it.
    QCOMPARE(form.size(), form.sizeHint());
    QCOMPARE(form.minimumSize(), form.maximumSize());

    TFormAbout about([&f] { return f.now; }, &form);
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    Inspection aboutLook(about);
    aboutLook.surface(&about);
    problems += aboutLook.problems;

    TFormError error(f.shell, &form);
    error.ui().Memo1->setPlainText(QStringLiteral("535 5.7.8 Authentication failed"));
    error.show();
    QVERIFY(QTest::qWaitForWindowExposed(&error));
    Inspection errorLook(error);
    errorLook.surface(&error);
    problems += errorLook.problems;

    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
}

void TestFormLook::followsTheDesktopWhileOpen()
{
    MainFormFixture f;
    TFormMain& form = f.create();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QSize drawn = form.size();
    QWidget* page = f.ui().tabStatus;
    const auto pageColour = [page] {
        return page->grab().toImage().pixelColor(page->width() - 2, page->height() - 2);
    };
    QCOMPARE(pageColour(), QColor(Qt::white));

    // The desktop changes theme and font size while the window is open; layouts settle
    // as their requests are handled.
    QFont larger = m_desktopFont;
    larger.setPointSizeF(18);
    QApplication::setFont(larger);
    QApplication::setPalette(darkPalette());
    QTRY_COMPARE(form.font().pointSizeF(), 16.0);
    QCOMPARE(f.ui().btnOK->font(), form.font());
    QCOMPARE(f.ui().txtSMTPPassword->font(), form.font());
    QTRY_VERIFY2(form.width() > drawn.width() && form.height() > drawn.height(),
                 qPrintable(describe(form.size())));
    QCOMPARE(pageColour(), darkPalette().color(QPalette::Base));

    QApplication::setFont(m_desktopFont);
    QApplication::setPalette(m_desktopPalette);
    QTRY_COMPARE(form.size(), drawn);
    QCOMPARE(pageColour(), QColor(Qt::white));
}

QTEST_MAIN(TestFormLook)
#include "tst_form_look.moc"
