#include "RecordingSurface.h"
#include "print/PrintTListView.h"

#include <QTest>

#include <algorithm>
#include <stdexcept>

Q_DECLARE_METATYPE(ReportList)
Q_DECLARE_METATYPE(ReportList::Alignment)
Q_DECLARE_METATYPE(RecordedCall::Kind)

namespace {

using Kind = RecordedCall::Kind;
using Alignment = ReportList::Alignment;

// With RecordingSurface's default metric: p = width of "N", h = text height, g = h / 5.
constexpr int p = 10;
constexpr int h = RecordingSurface::textHeightUnits;
constexpr int g = h / 5;
constexpr int margin = 200;

const QColor white(255, 255, 255);
const QColor black(0, 0, 0);
const QColor silver(192, 192, 192);

const QString logTitle = QStringLiteral("Velmora - IP Address Change Log");

ReportList::Column column(const QString& caption, int width = 153,
                          Alignment alignment = Alignment::Left)
{
    return {caption, width, alignment};
}

// Columns captioned with runs of 'x' of the given lengths, and no rows.
ReportList captionsOfLength(const QList<int>& lengths)
{
    ReportList list;
    for (int length : lengths)
        list.columns.append(column(QString(length, QLatin1Char('x'))));
    return list;
}

QString rowCaption(int number)
{
    return QStringLiteral("r%1").arg(number, 4, 10, QLatin1Char('0'));
}

// The history log's three columns with rows r0001, r0002... whose sub-items are short.
ReportList numberedRows(int count)
{
    ReportList list;
    list.columns = {column("Date"), column("Public IP"), column("Local IP")};
    for (int i = 1; i <= count; ++i)
        list.rows.append(
            {rowCaption(i), {QStringLiteral("p%1").arg(i), QStringLiteral("l%1").arg(i)}});
    return list;
}

QList<RecordedCall> onPage(const QList<RecordedCall>& calls, int page)
{
    QList<RecordedCall> result;
    std::copy_if(calls.cbegin(), calls.cend(), std::back_inserter(result),
                 [page](const RecordedCall& call) { return call.page == page; });
    return result;
}

QList<RecordedCall> textsNamed(const RecordingSurface& surface, const QString& text)
{
    QList<RecordedCall> result;
    for (const RecordedCall& call : surface.callsOf(Kind::Text)) {
        if (call.text == text)
            result.append(call);
    }
    return result;
}

bool isRowText(const RecordedCall& call)
{
    return call.text.size() == 5 && call.text.startsWith(QLatin1Char('r'));
}

// Position in the call sequence of the first call of this kind on the page, -1 if none.
int firstIndexOf(const RecordingSurface& surface, Kind kind, int page)
{
    const QList<RecordedCall>& calls = surface.calls();
    for (int i = 0; i < calls.size(); ++i) {
        if (calls[i].kind == kind && calls[i].page == page)
            return i;
    }
    return -1;
}

int tableLeft(const RecordingSurface& surface)
{
    return surface.callsOf(Kind::Rectangle).value(0).coordinates.value(0);
}

int tableRight(const RecordingSurface& surface)
{
    return surface.callsOf(Kind::Rectangle).value(0).coordinates.value(2);
}

} // namespace

class TestPrintListView : public QObject
{
    Q_OBJECT

private slots:
    void orientationAndCentring_data();
    void orientationAndCentring();
    void columnWidths_data();
    void columnWidths();
    void cellAlignment_data();
    void cellAlignment();
    void pageBreaks_data();
    void pageBreaks();
    void pageTitles();
    void emptyTitleStartsAtTopMargin();
    void titleCentredOverTable_data();
    void titleCentredOverTable();
    void rowLinesUnderEveryRowButTheLast();
    void columnLinesBetweenColumnsOnEveryPage();
    void historyLogLook();
    void listWithoutRows_data();
    void listWithoutRows();
    void columnLimit_data();
    void columnLimit();
    void failingJobRestoresPrinter_data();
    void failingJobRestoresPrinter();
};

void TestPrintListView::orientationAndCentring_data()
{
    QTest::addColumn<QList<int>>("captionLengths");
    QTest::addColumn<int>("portraitWidth");
    QTest::addColumn<QPageLayout::Orientation>("initialOrientation");
    QTest::addColumn<QPageLayout::Orientation>("jobOrientation");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("right");
    QTest::addColumn<bool>("centred");

    const auto portrait = QPageLayout::Portrait;
    const auto landscape = QPageLayout::Landscape;
    // Widths are 10 per character plus p; free space is split evenly on both sides.
    QTest::newRow("narrow table centred in portrait")
        << QList<int>{5, 8, 3} << 5100 << portrait << portrait << 2455 << 2645 << true;
    QTest::newRow("odd free space: sides differ by one unit")
        << QList<int>{5, 8, 3} << 5101 << portrait << portrait << 2455 << 2645 << true;
    QTest::newRow("exactly fills the space between the margins")
        << QList<int>{469} << 5100 << portrait << portrait << 200 << 4900 << true;
    QTest::newRow("one unit too wide turns to landscape")
        << QList<int>{470} << 5100 << portrait << landscape << 945 << 5655 << true;
    QTest::newRow("wide table centred in landscape")
        << QList<int>{160, 160, 160} << 5100 << portrait << landscape << 885 << 5715 << true;
    QTest::newRow("too wide even for landscape starts at the margin")
        << QList<int>{320, 320} << 5100 << portrait << landscape << 200 << 6620 << false;
    QTest::newRow("already landscape stays landscape")
        << QList<int>{5, 8, 3} << 5100 << landscape << landscape << 3205 << 3395 << true;
    QTest::newRow("already landscape, too wide")
        << QList<int>{320, 320} << 5100 << landscape << landscape << 200 << 6620 << false;
}

void TestPrintListView::orientationAndCentring()
{
    QFETCH(QList<int>, captionLengths);
    QFETCH(int, portraitWidth);
    QFETCH(QPageLayout::Orientation, initialOrientation);
    QFETCH(QPageLayout::Orientation, jobOrientation);
    QFETCH(int, left);
    QFETCH(int, right);
    QFETCH(bool, centred);

    RecordingSurface surface(portraitWidth);
    surface.setInitialOrientation(initialOrientation);
    PrintListView(surface, logTitle, captionsOfLength(captionLengths), false, false);

    const QList<RecordedCall> begins = surface.callsOf(Kind::BeginJob);
    QCOMPARE(begins.size(), 1);
    QCOMPARE(begins.first().orientation, jobOrientation);
    QCOMPARE(tableLeft(surface), left);
    QCOMPARE(tableRight(surface), right);
    QCOMPARE(surface.callsOf(Kind::Frame).value(0).coordinates.value(0), left);
    QCOMPARE(surface.callsOf(Kind::Frame).value(0).coordinates.value(2), right);
    if (centred) {
        const int pageWidth = jobOrientation == QPageLayout::Portrait ? portraitWidth : 6600;
        QVERIFY2(std::abs(left - (pageWidth - right)) <= 1,
                 qPrintable(
                     QStringLiteral("left gap %1, right gap %2").arg(left).arg(pageWidth - right)));
    }
    QCOMPARE(surface.orientation(), initialOrientation);
}

void TestPrintListView::columnWidths_data()
{
    QTest::addColumn<ReportList>("list");
    QTest::addColumn<QList<int>>("columnLineOffsets");
    QTest::addColumn<int>("tableWidth");
    QTest::addColumn<QStringList>("notPrinted");

    ReportList list;
    list.columns = {column("Public IP address"), column("Date")};
    list.rows = {{"1.2.3.4", {"2024-01-01"}}};
    QTest::newRow("longest of caption and cells, plus p")
        << list << QList<int>{180} << 290 << QStringList{};

    list.columns = {column("Date"), column("Hidden", 0), column("Local")};
    list.rows = {{"2024", {"secret-long-text", "10.0.0.1"}}};
    QTest::newRow("hidden middle column")
        << list << QList<int>{50} << 140 << QStringList{"Hidden", "secret-long-text"};

    list.columns = {column("Date"), column("Local"), column("Hidden", 0)};
    list.rows = {{"2024", {"10.0.0.1", "secret"}}};
    QTest::newRow("hidden last column: no line on the frame")
        << list << QList<int>{50} << 140 << QStringList{"Hidden", "secret"};

    list.columns = {column("Hidden", 0), column("Date"), column("Local")};
    list.rows = {{"secret", {"2024", "10.0.0.1"}}};
    QTest::newRow("hidden first column")
        << list << QList<int>{50} << 140 << QStringList{"Hidden", "secret"};

    list.columns = {column("Date"), column("Gone", -1)};
    list.rows = {{"2024", {"x"}}};
    QTest::newRow("negative width hides the column too")
        << list << QList<int>{} << 50 << QStringList{"Gone", "x"};

    list.columns = {column("Date"), column("Public")};
    list.rows = {{"2024", {"1.2.3.4", "an-extra-very-long-sub-item"}}};
    QTest::newRow("sub-items beyond the last column are ignored")
        << list << QList<int>{50} << 130 << QStringList{"an-extra-very-long-sub-item"};

    list.columns = {column(""), column("")};
    list.rows = {{"", {""}}};
    QTest::newRow("empty texts leave just p") << list << QList<int>{10} << 20 << QStringList{};
}

void TestPrintListView::columnWidths()
{
    QFETCH(ReportList, list);
    QFETCH(QList<int>, columnLineOffsets);
    QFETCH(int, tableWidth);
    QFETCH(QStringList, notPrinted);

    RecordingSurface surface;
    PrintListView(surface, QString(), list, false, true);

    const int left = tableLeft(surface);
    QCOMPARE(tableRight(surface) - left, tableWidth);
    QList<int> offsets;
    for (const RecordedCall& line : surface.callsOf(Kind::Line)) {
        QCOMPARE(line.coordinates[0], line.coordinates[2]);
        offsets.append(line.coordinates[0] - left);
    }
    QCOMPARE(offsets, columnLineOffsets);
    for (const QString& text : notPrinted)
        QVERIFY2(textsNamed(surface, text).isEmpty(), qPrintable(text));
}

void TestPrintListView::cellAlignment_data()
{
    QTest::addColumn<Alignment>("alignment");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("offset");

    // One column 70 wide: its longest text "abcdef" (60) plus p.
    QTest::newRow("left caption") << Alignment::Left << "Name" << 10;
    QTest::newRow("left longest reaches the right edge") << Alignment::Left << "abcdef" << 10;
    QTest::newRow("left short") << Alignment::Left << "ab" << 10;
    QTest::newRow("right caption") << Alignment::Right << "Name" << 20;
    QTest::newRow("right longest reaches the left edge") << Alignment::Right << "abcdef" << 0;
    QTest::newRow("right short ends p inside") << Alignment::Right << "ab" << 40;
    QTest::newRow("centre caption") << Alignment::Center << "Name" << 15;
    QTest::newRow("centre longest") << Alignment::Center << "abcdef" << 5;
    QTest::newRow("centre short") << Alignment::Center << "ab" << 25;
}

void TestPrintListView::cellAlignment()
{
    QFETCH(Alignment, alignment);
    QFETCH(QString, text);
    QFETCH(int, offset);

    ReportList list;
    list.columns = {column("Name", 100, alignment)};
    list.rows = {{"abcdef", {}}, {"ab", {}}};
    RecordingSurface surface;
    PrintListView(surface, QString(), list, false, false);

    const QList<RecordedCall> drawn = textsNamed(surface, text);
    QCOMPARE(drawn.size(), 1);
    QCOMPARE(tableRight(surface) - tableLeft(surface), 70);
    QCOMPARE(drawn.first().coordinates[0] - tableLeft(surface), offset);
}

void TestPrintListView::pageBreaks_data()
{
    QTest::addColumn<int>("pageHeight");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("rowCount");
    QTest::addColumn<bool>("horizontalLines");
    QTest::addColumn<QList<int>>("rowsPerPage");

    // With a title, rows start at 256 (title 200, header 224..252, gap 4); each row is 20
    // high (24 with row lines), and a page ends after the first row whose bottom passes
    // page height - 200.
    QTest::newRow("one page") << 6600 << logTitle << 300 << false << QList<int>{300};
    QTest::newRow("letter-sized pages")
        << 6600 << logTitle << 700 << false << QList<int>{308, 308, 84};
    QTest::newRow("last row reaches into the margin")
        << 1000 << logTitle << 60 << false << QList<int>{28, 28, 4};
    QTest::newRow("row ending exactly at the margin is not the last")
        << 1016 << logTitle << 60 << false << QList<int>{29, 29, 2};
    QTest::newRow("one unit shorter page")
        << 1015 << logTitle << 60 << false << QList<int>{28, 28, 4};
    QTest::newRow("exactly full pages: no empty page")
        << 1000 << logTitle << 56 << false << QList<int>{28, 28};
    QTest::newRow("no title: rows start higher")
        << 1000 << QString() << 60 << false << QList<int>{29, 29, 2};
    QTest::newRow("row lines") << 1000 << logTitle << 50 << true << QList<int>{23, 23, 4};
    QTest::newRow("row lines, one row on the last page")
        << 1000 << logTitle << 47 << true << QList<int>{23, 23, 1};
    QTest::newRow("single row") << 1000 << logTitle << 1 << true << QList<int>{1};
}

void TestPrintListView::pageBreaks()
{
    QFETCH(int, pageHeight);
    QFETCH(QString, title);
    QFETCH(int, rowCount);
    QFETCH(bool, horizontalLines);
    QFETCH(QList<int>, rowsPerPage);

    RecordingSurface surface(5100, pageHeight);
    PrintListView(surface, title, numberedRows(rowCount), horizontalLines, false);

    QCOMPARE(surface.pageCount(), rowsPerPage.size());
    QCOMPARE(surface.callsOf(Kind::NewPage).size(), rowsPerPage.size() - 1);
    int nextRow = 1;
    for (int page = 1; page <= rowsPerPage.size(); ++page) {
        const bool lastPage = page == rowsPerPage.size();
        const QList<RecordedCall> texts = onPage(surface.callsOf(Kind::Text), page);
        QList<RecordedCall> rows;
        std::copy_if(texts.cbegin(), texts.cend(), std::back_inserter(rows), isRowText);
        QCOMPARE(rows.size(), rowsPerPage[page - 1]);
        for (const RecordedCall& row : rows) {
            QCOMPARE(row.text, rowCaption(nextRow++));
            QVERIFY2(row.coordinates[1] <= pageHeight - margin, qPrintable(row.text));
        }

        // Every page has its own header box and frame, the frame just below the last row.
        QCOMPARE(onPage(surface.callsOf(Kind::Rectangle), page).size(), 1);
        const QList<RecordedCall> frames = onPage(surface.callsOf(Kind::Frame), page);
        QCOMPARE(frames.size(), 1);
        const int rowLineSpace = horizontalLines && !lastPage ? g : 0;
        QCOMPARE(frames.first().coordinates[3], rows.last().coordinates[1] + h + rowLineSpace + g);
        QCOMPARE(frames.first().coordinates[1],
                 onPage(surface.callsOf(Kind::Rectangle), page).first().coordinates[1]);
    }
    QCOMPARE(nextRow, rowCount + 1);
}

void TestPrintListView::pageTitles()
{
    RecordingSurface surface(5100, 1000);
    PrintListView(surface, logTitle, numberedRows(60), false, false);

    QCOMPARE(surface.pageCount(), 3);
    const QStringList expected = {logTitle, logTitle + " (2)", logTitle + " (3)"};
    for (int page = 1; page <= 3; ++page) {
        const QList<RecordedCall> first = onPage(surface.callsOf(Kind::Text), page);
        QCOMPARE(first.value(0).text, expected[page - 1]);
        QCOMPARE(first.value(0).coordinates[1], margin);
        QCOMPARE(first.value(0).fillColour, white);
        const RecordedCall box = onPage(surface.callsOf(Kind::Rectangle), page).first();
        QCOMPARE(box.coordinates[1], margin + h + g);
        QCOMPARE(box.coordinates[3], margin + h + g + h + 2 * g);
    }
    QVERIFY(textsNamed(surface, logTitle + " (1)").isEmpty());
}

void TestPrintListView::emptyTitleStartsAtTopMargin()
{
    RecordingSurface surface(5100, 1000);
    const ReportList list = numberedRows(60);
    PrintListView(surface, QString(), list, false, false);

    QCOMPARE(surface.pageCount(), 3);
    for (int page = 1; page <= 3; ++page) {
        QCOMPARE(onPage(surface.callsOf(Kind::Rectangle), page).first().coordinates[1], margin);
        const QList<RecordedCall> texts = onPage(surface.callsOf(Kind::Text), page);
        // Only the three captions and the rows: no title line.
        QCOMPARE(texts.first().text, QStringLiteral("Date"));
        QCOMPARE(texts.first().coordinates[1], margin + g);
    }
}

void TestPrintListView::titleCentredOverTable_data()
{
    QTest::addColumn<int>("characterWidth");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("offset");

    QTest::newRow("shorter than the table") << 10 << "abcdefghij"
                                            << "Log" << 40;
    QTest::newRow("wider than the table") << 10 << "ab"
                                          << "Wide title" << -35;
    // Table 15 wide, title 40: -25 / 2 truncates to -12, not -13.
    QTest::newRow("odd difference truncates toward zero") << 5 << "ab"
                                                          << "abcdefgh" << -12;
}

void TestPrintListView::titleCentredOverTable()
{
    QFETCH(int, characterWidth);
    QFETCH(QString, caption);
    QFETCH(QString, title);
    QFETCH(int, offset);

    ReportList list;
    list.columns = {column(caption)};
    RecordingSurface surface(5100, 6600, characterWidth);
    PrintListView(surface, title, list, false, false);

    const QList<RecordedCall> drawn = textsNamed(surface, title);
    QCOMPARE(drawn.size(), 1);
    QCOMPARE(drawn.first().coordinates[0] - tableLeft(surface), offset);
}

void TestPrintListView::rowLinesUnderEveryRowButTheLast()
{
    RecordingSurface surface(5100, 1000);
    PrintListView(surface, logTitle, numberedRows(50), true, false);

    const QList<RecordedCall> lines = surface.callsOf(Kind::Line);
    QList<RecordedCall> rows;
    for (const RecordedCall& text : surface.callsOf(Kind::Text)) {
        if (isRowText(text))
            rows.append(text);
    }
    QCOMPARE(rows.size(), 50);
    QCOMPARE(lines.size(), 49);
    for (int i = 0; i < lines.size(); ++i) {
        const RecordedCall& line = lines[i];
        const int y = rows[i].coordinates[1] + h;
        QCOMPARE(line.coordinates, (QList<int>{tableLeft(surface), y, tableRight(surface), y}));
        QCOMPARE(line.page, rows[i].page);
        QCOMPARE(line.lineColour, silver);
    }
    // The last row of pages 1 and 2 has its line; the list's last row has none.
    QCOMPARE(lines[22].page, 1);
    QCOMPARE(lines[45].page, 2);
}

void TestPrintListView::columnLinesBetweenColumnsOnEveryPage()
{
    RecordingSurface surface(5100, 1000);
    PrintListView(surface, logTitle, numberedRows(60), false, true);

    // Columns: "Date" 40 (rows r0001 are 50) + p, "Public IP" 90 + p, "Local IP" 80 + p.
    const int left = tableLeft(surface);
    QCOMPARE(tableRight(surface) - left, 60 + 100 + 90);
    QCOMPARE(surface.pageCount(), 3);
    for (int page = 1; page <= 3; ++page) {
        const RecordedCall frame = onPage(surface.callsOf(Kind::Frame), page).first();
        const QList<RecordedCall> lines = onPage(surface.callsOf(Kind::Line), page);
        QCOMPARE(lines.size(), 2);
        const int top = frame.coordinates[1];
        const int bottom = frame.coordinates[3];
        QCOMPARE(lines[0].coordinates, (QList<int>{left + 60, top, left + 60, bottom}));
        QCOMPARE(lines[1].coordinates, (QList<int>{left + 160, top, left + 160, bottom}));
        for (const RecordedCall& line : lines)
            QCOMPARE(line.lineColour, silver);
        // Drawn over the frame, after it.
        QVERIFY(firstIndexOf(surface, Kind::Frame, page) < firstIndexOf(surface, Kind::Line, page));
    }
}

void TestPrintListView::historyLogLook()
{
    RecordingSurface surface;
    PrintListView(surface, logTitle, numberedRows(5), false, false);

    QVERIFY(surface.callsOf(Kind::Line).isEmpty());
    QCOMPARE(surface.callsOf(Kind::BeginJob).size(), 1);
    QCOMPARE(surface.callsOf(Kind::EndJob).size(), 1);
    QVERIFY(surface.callsOf(Kind::AbortJob).isEmpty());

    const QList<RecordedCall> boxes = surface.callsOf(Kind::Rectangle);
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.first().fillColour, silver);
    QCOMPARE(boxes.first().lineColour, black);
    const RecordedCall box = boxes.first();

    for (const RecordedCall& text : surface.callsOf(Kind::Text)) {
        const bool inHeader =
            text.coordinates[1] > box.coordinates[1] && text.coordinates[1] < box.coordinates[3];
        QCOMPARE(text.fillColour, inHeader ? silver : white);
        if (inHeader)
            QVERIFY(QStringList({"Date", "Public IP", "Local IP"}).contains(text.text));
    }
    QCOMPARE(textsNamed(surface, "Date").first().coordinates[1], box.coordinates[1] + g);

    const QList<RecordedCall> frames = surface.callsOf(Kind::Frame);
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames.first().fillColour, black);
    const int lastRowY = textsNamed(surface, rowCaption(5)).first().coordinates[1];
    QCOMPARE(frames.first().coordinates, (QList<int>{box.coordinates[0], box.coordinates[1],
                                                     box.coordinates[2], lastRowY + h + g}));
    // The first row starts g below the grey box.
    QCOMPARE(textsNamed(surface, rowCaption(1)).first().coordinates[1], box.coordinates[3] + g);

    QCOMPARE(surface.fillColour(), white);
    QCOMPARE(surface.lineColour(), black);
    QCOMPARE(surface.calls().last().kind, Kind::SetOrientation);
    QCOMPARE(surface.orientation(), QPageLayout::Portrait);
}

void TestPrintListView::listWithoutRows_data()
{
    QTest::addColumn<ReportList>("list");
    QTest::addColumn<int>("captions");

    QTest::newRow("columns, no rows") << numberedRows(0) << 3;
    QTest::newRow("no columns at all") << ReportList() << 0;
}

void TestPrintListView::listWithoutRows()
{
    QFETCH(ReportList, list);
    QFETCH(int, captions);

    RecordingSurface surface;
    PrintListView(surface, logTitle, list, true, true);

    QCOMPARE(surface.pageCount(), 1);
    QCOMPARE(surface.callsOf(Kind::EndJob).size(), 1);
    const QList<RecordedCall> texts = surface.callsOf(Kind::Text);
    QCOMPARE(texts.size(), 1 + captions);
    QCOMPARE(texts.first().text, logTitle);
    const QList<RecordedCall> boxes = surface.callsOf(Kind::Rectangle);
    QCOMPARE(boxes.size(), 1);
    const int top = margin + h + g;
    const int boxBottom = top + h + 2 * g;
    QCOMPARE(boxes.first().coordinates[1], top);
    QCOMPARE(boxes.first().coordinates[3], boxBottom);
    const QList<RecordedCall> frames = surface.callsOf(Kind::Frame);
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames.first().coordinates[1], top);
    QCOMPARE(frames.first().coordinates[3], boxBottom + 2 * g);
}

void TestPrintListView::columnLimit_data()
{
    QTest::addColumn<int>("columns");
    QTest::addColumn<bool>("printed");

    QTest::newRow("32 columns print") << 32 << true;
    QTest::newRow("33 columns are refused") << 33 << false;
}

void TestPrintListView::columnLimit()
{
    QFETCH(int, columns);
    QFETCH(bool, printed);

    const ReportList list = captionsOfLength(QList<int>(columns, 1));
    RecordingSurface surface;
    if (printed) {
        PrintListView(surface, logTitle, list, false, true);
        QCOMPARE(surface.callsOf(Kind::Line).size(), columns - 1);
        QCOMPARE(surface.callsOf(Kind::EndJob).size(), 1);
    } else {
        try {
            PrintListView(surface, logTitle, list, false, true);
            QFAIL("no error for too many columns");
        } catch (const std::runtime_error& error) {
            QVERIFY2(QString::fromUtf8(error.what()).contains("33"), error.what());
        }
        QVERIFY(surface.calls().isEmpty());
    }
}

void TestPrintListView::failingJobRestoresPrinter_data()
{
    QTest::addColumn<Kind>("failing");
    QTest::addColumn<int>("occurrence");
    QTest::addColumn<bool>("aborted");

    QTest::newRow("job cannot begin") << Kind::BeginJob << 1 << false;
    QTest::newRow("second page fails") << Kind::NewPage << 1 << true;
    QTest::newRow("third page fails") << Kind::NewPage << 2 << true;
    QTest::newRow("job cannot end") << Kind::EndJob << 1 << true;
}

void TestPrintListView::failingJobRestoresPrinter()
{
    QFETCH(Kind, failing);
    QFETCH(int, occurrence);
    QFETCH(bool, aborted);

    // Wide enough for landscape, long enough for three pages.
    ReportList list = numberedRows(500);
    list.columns.append(column(QString(480, QLatin1Char('x'))));
    RecordingSurface surface;
    surface.failOn(failing, occurrence);

    QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                             PrintListView(surface, logTitle, list, true, true));

    QCOMPARE(surface.callsOf(Kind::SetOrientation).value(0).orientation, QPageLayout::Landscape);
    QVERIFY(!surface.jobOpen());
    QCOMPARE(surface.callsOf(Kind::AbortJob).size(), aborted ? 1 : 0);
    QVERIFY(surface.callsOf(Kind::EndJob).isEmpty());
    QCOMPARE(surface.orientation(), QPageLayout::Portrait);
    QCOMPARE(surface.fillColour(), white);
    QCOMPARE(surface.lineColour(), black);
}

QTEST_GUILESS_MAIN(TestPrintListView)
#include "tst_printlistview.moc"
