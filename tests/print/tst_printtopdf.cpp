#include "print/PrintTListView.h"
#include "support/TestTime.h"

#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <stdexcept>

namespace {

const QString logTitle = QStringLiteral("Velmora - IP Address Change Log");

QString dateOf(int entry)
{
    return QDateTime(QDate(2024, 1, 1), QTime(8, 0))
        .addSecs(qint64(entry) * 3600)
        .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

QString publicOf(int entry)
{
    return QStringLiteral("203.0.%1.%2").arg(entry / 256).arg(entry % 256);
}

QString localOf(int entry)
{
    return QStringLiteral("192.168.%1.%2").arg(entry / 256).arg(entry % 256);
}

// The history log as the window shows it: three left-aligned columns 153 wide.
ReportList historyLog(int entries)
{
    ReportList list;
    for (const char* caption : {"Date", "Public IP", "Local IP"})
        list.columns.append({QString::fromLatin1(caption), 153, ReportList::Alignment::Left});
    for (int i = 0; i < entries; ++i)
        list.rows.append({dateOf(i), {publicOf(i), localOf(i)}});
    return list;
}

void preparePdf(QPrinter& printer, const QString& fileName)
{
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(fileName);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Portrait);
}

// Output of a poppler tool, or an empty string (with a test failure) when it does not finish.
QString runTool(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(testtime::scaled(30000))) {
        process.kill();
        process.waitForFinished(testtime::scaled(5000));
        qWarning() << program << "did not finish";
        return {};
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qWarning() << program << process.readAllStandardError();
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The text of each page, with the "fi" ligature spelt out.
QStringList pdfPages(const QString& fileName)
{
    QString text = runTool(QStringLiteral("pdftotext"),
                           {QStringLiteral("-layout"), fileName, QStringLiteral("-")});
    text.replace(QChar(0xFB01), QStringLiteral("fi"));
    QStringList pages = text.split(QLatin1Char('\f'));
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

bool hasRow(const QString& page, int entry)
{
    const QRegularExpression row(QRegularExpression::escape(dateOf(entry)) + "\\s+" +
                                     QRegularExpression::escape(publicOf(entry)) + "\\s+" +
                                     QRegularExpression::escape(localOf(entry)) + "\\s*$",
                                 QRegularExpression::MultilineOption);
    return row.match(page).hasMatch();
}

} // namespace

class TestPrintToPdf : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void measuresAtPrinterResolution();
    void historyLogPrintsOverSeveralPages();
    void wideListPrintsInLandscape();
    void unwritableFileIsReported();

private:
    QTemporaryDir m_dir;
};

void TestPrintToPdf::init()
{
    QVERIFY(m_dir.isValid());
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
}

void TestPrintToPdf::measuresAtPrinterResolution()
{
    QPrinter printer;
    preparePdf(printer, m_dir.filePath("unused.pdf"));
    QFont font;
    font.setPointSize(10);
    PrinterSurface surface(printer, font);

    QCOMPARE(printer.resolution(), 600);
    // 10 points at 600 dpi is 83 device units; a screen-sized measure would be about 13.
    QVERIFY2(surface.textHeight("N") > 83 && surface.textHeight("N") < 200,
             qPrintable(QString::number(surface.textHeight("N"))));
    QVERIFY(surface.textWidth("NN") > surface.textWidth("N"));
    // A4 is 8.27 inches wide: the printable width lies between that less an inch and all of it.
    QVERIFY2(surface.pageWidth() > 4360 && surface.pageWidth() <= 4961,
             qPrintable(QString::number(surface.pageWidth())));

    surface.setOrientation(QPageLayout::Landscape);
    QVERIFY(surface.pageWidth() > surface.pageHeight());
}

void TestPrintToPdf::historyLogPrintsOverSeveralPages()
{
    const QString fileName = m_dir.filePath("log.pdf");
    QPrinter printer;
    preparePdf(printer, fileName);
    PrinterSurface surface(printer);
    PrintListView(surface, logTitle, historyLog(300), false, false);

    QCOMPARE(printer.pageLayout().orientation(), QPageLayout::Portrait);
    const QStringList pages = pdfPages(fileName);
    QVERIFY2(pages.size() > 1, qPrintable(QString::number(pages.size())));
    QVERIFY(pages[0].contains(logTitle));
    QVERIFY(!pages[0].contains(logTitle + " ("));
    QVERIFY(pages[1].contains(logTitle + " (2)"));
    QVERIFY(pages.last().contains(logTitle + QStringLiteral(" (%1)").arg(pages.size())));
    const QRegularExpression header("Date\\s+Public IP\\s+Local IP");
    for (const QString& page : pages)
        QVERIFY(header.match(page).hasMatch());
    QVERIFY(hasRow(pages.first(), 0));
    QVERIFY(hasRow(pages.last(), 299));
}

void TestPrintToPdf::wideListPrintsInLandscape()
{
    const QString fileName = m_dir.filePath("wide.pdf");
    QPrinter printer;
    preparePdf(printer, fileName);
    PrinterSurface surface(printer);
    ReportList list = historyLog(3);
    list.columns.append({"Note", 153, ReportList::Alignment::Right});
    list.rows[0].subItems.append(QString(150, QLatin1Char('w')));
    PrintListView(surface, logTitle, list, true, true);

    QCOMPARE(printer.pageLayout().orientation(), QPageLayout::Portrait);
    const QString info = runTool(QStringLiteral("pdfinfo"), {fileName});
    const QRegularExpressionMatch size =
        QRegularExpression("Page size:\\s+([\\d.]+) x ([\\d.]+)").match(info);
    QVERIFY2(size.hasMatch(), qPrintable(info));
    QVERIFY2(size.captured(1).toDouble() > size.captured(2).toDouble(), qPrintable(info));
    const QStringList pages = pdfPages(fileName);
    QCOMPARE(pages.size(), 1);
    QVERIFY(hasRow(pages[0], 2));
}

void TestPrintToPdf::unwritableFileIsReported()
{
    const QString fileName = m_dir.filePath("missing-folder/log.pdf");
    QPrinter printer;
    preparePdf(printer, fileName);
    PrinterSurface surface(printer);
    ReportList list = historyLog(2);
    list.columns[0].caption = QString(800, QLatin1Char('D')); // wide: landscape for the job

    try {
        PrintListView(surface, logTitle, list, false, false);
        QFAIL("printing to a missing folder succeeded");
    } catch (const std::runtime_error& error) {
        QVERIFY2(QString::fromUtf8(error.what()).contains(fileName), error.what());
    }
    QCOMPARE(printer.pageLayout().orientation(), QPageLayout::Portrait);
    QVERIFY(!QFile::exists(fileName));
}

QTEST_MAIN(TestPrintToPdf)
#include "tst_printtopdf.moc"
