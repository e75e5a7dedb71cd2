#include "common/AlertSettings.h"
#include "common/AlertTexts.h"
#include "common/CarrierLine.h"
#include "common/Framing.h"
#include "common/SettingSpelling.h"
#include "common/SplitFields.h"
#include "common/TextConvert.h"
#include "common/WrapMessage.h"

#include <QDirIterator>
#include <QLocale>
#include <QtTest>

class TestCommon : public QObject
{
    Q_OBJECT

private slots:
    void splitFields_data();
    void splitFields();
    void splitFieldsClearsTheList();
    void carrierLines_data();
    void carrierLines();

    void wrapMessage_data();
    void wrapMessage();

    void parseBoolean_data();
    void parseBoolean();
    void parseBooleanUsesLocaleDecimalSeparator();
    void parseInteger_data();
    void parseInteger();
    void withFullStop_data();
    void withFullStop();

    void takeLine_data();
    void takeLine();
    void takeLineRejectsOverlongLines_data();
    void takeLineRejectsOverlongLines();
    void countedListRoundTrip();

    void settingsRoundTripKeepsBytes();
    void settingsSaveListIsEighteenAndValues();
    void settingsRejectMalformedLists_data();
    void settingsRejectMalformedLists();
    void carrierOnTheLink_data();
    void carrierOnTheLink();
    void keyedLines_data();
    void keyedLines();
    void malformedKeyedLines_data();
    void malformedKeyedLines();
    void eachSettingKeyIsWrittenOnce();
    void fileSpellings_data();
    void fileSpellings();

    void bytesSurviveTheText_data();
    void bytesSurviveTheText();
    void longTimeHasNoZone_data();
    void longTimeHasNoZone();
};

void TestCommon::splitFields_data()
{
    QTest::addColumn<QString>("delimiter");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("fields");

    QTest::newRow("empty text gives no fields") << ","
                                                << "" << QStringList{};
    QTest::newRow("three fields") << ","
                                  << "A,B,C" << QStringList{"A", "B", "C"};
    QTest::newRow("blanks kept") << ","
                                 << " A , B " << QStringList{" A ", " B "};
    QTest::newRow("empty middle field") << ","
                                        << "A,,C" << QStringList{"A", "", "C"};
    QTest::newRow("trailing delimiter") << ","
                                        << "A,B," << QStringList{"A", "B", ""};
    QTest::newRow("leading delimiter") << ","
                                       << ",a@b" << QStringList{"", "a@b"};
    QTest::newRow("only a delimiter") << ","
                                      << "," << QStringList{"", ""};
    QTest::newRow("quoted with delimiter")
        << ","
        << "\"Dec 1, 2026\",1.2.3.4,10.0.0.2" << QStringList{"Dec 1, 2026", "1.2.3.4", "10.0.0.2"};
    QTest::newRow("doubled quote") << ","
                                   << "\"say \"\"hi\"\"\",x" << QStringList{"say \"hi\"", "x"};
    QTest::newRow("text after closing quote") << ","
                                              << "\"ab\"cd,e" << QStringList{"ab", "cd", "e"};
    QTest::newRow("quoted field at end") << ","
                                         << "a,\"b,c\"" << QStringList{"a", "b,c"};
    QTest::newRow("quoted then trailing delimiter") << ","
                                                    << "\"a\"," << QStringList{"a", ""};
    QTest::newRow("unclosed quote runs to end") << ","
                                                << "\"a,b" << QStringList{"a,b"};
    QTest::newRow("quote inside a field is kept") << ","
                                                  << "a\"b,c" << QStringList{"a\"b", "c"};
    QTest::newRow("pipe carrier line")
        << "|"
        << "Verizon|vtext.com" << QStringList{"Verizon", "vtext.com"};
    QTest::newRow("pipe keeps commas and blanks")
        << "|"
        << " AT&T, Inc|txt.att.net|x" << QStringList{" AT&T, Inc", "txt.att.net", "x"};
    QTest::newRow("no delimiter") << "|"
                                  << "NoGateway" << QStringList{"NoGateway"};
}

void TestCommon::splitFields()
{
    QFETCH(QString, delimiter);
    QFETCH(QString, text);
    QFETCH(QStringList, fields);
    QStringList result;
    SplitFields(delimiter.at(0), text, result);
    QCOMPARE(result, fields);
}

void TestCommon::splitFieldsClearsTheList()
{
    QStringList result{"old"};
    SplitFields(QLatin1Char(','), QString(), result);
    QVERIFY(result.isEmpty());
}

void TestCommon::carrierLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("gateway");

    QTest::newRow("plain") << "Verizon|vtext.com" << true << "Verizon"
                           << "vtext.com";
    QTest::newRow("third field ignored") << "A|a.example|extra" << true << "A"
                                         << "a.example";
    QTest::newRow("leading blank kept") << " Bell|txt.bell.ca" << true << " Bell"
                                        << "txt.bell.ca";
    QTest::newRow("quoted name") << "\"Name|with bar\"|g.example" << true << "Name|with bar"
                                 << "g.example";
    QTest::newRow("no bar") << "NoGateway" << false << ""
                            << "";
    QTest::newRow("empty") << "" << false << ""
                           << "";
}

void TestCommon::carrierLines()
{
    QFETCH(QString, line);
    QFETCH(bool, valid);
    QFETCH(QString, name);
    QFETCH(QString, gateway);
    const std::optional<CarrierLine> carrier = CarrierLine::parse(line);
    QCOMPARE(bool(carrier), valid);
    if (!valid)
        return;
    QCOMPARE(carrier->name, name);
    QCOMPARE(carrier->gateway, gateway);
}

void TestCommon::wrapMessage_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("wrapped");

    QTest::newRow("service unreachable")
        << "Could not connect to the Velmora Service component.  Please try to restart your "
           "computer.  If the problem persists reinstall the software or contact support."
        << "Could not connect to the Velmora Service \r\n"
           "component.  Please try to restart your \r\n"
           "computer.  If the problem persists reinstall \r\n"
           "the software or contact support.";
    QTest::newRow("ssl port question")
        << "The port used by most Internet Service Providers for SSL email sending is 465.  "
           "Would you like to change the SMTP port to 465?"
        << "The port used by most Internet Service \r\n"
           "Providers for SSL email sending is 465.  \r\n"
           "Would you like to change the SMTP port to \r\n"
           "465?";
    QTest::newRow("text message notice")
        << "Velmora uses an email engine to send SMS Text messages to your mobile device.  "
           "Please enter your email details first."
        << "Velmora uses an email engine to send SMS \r\n"
           "Text messages to your mobile device.  Please \r\n"
           "enter your email details first.";
    QTest::newRow("ftp success")
        << "Success: The page \"velmora.html\" has been uploaded to your FTP directory."
        << "Success: The page \"velmora.html\" has been \r\n"
           "uploaded to your FTP directory.";
    QTest::newRow("quoted run never cut")
        << "Success: The page \"a quoted name that holds many blanks inside\" was sent."
        << "Success: The page \r\n"
           "\"a quoted name that holds many blanks inside\" \r\n"
           "was sent.";
    QTest::newRow("short text unchanged") << "Success: Test Email Sent"
                                          << "Success: Test Email Sent";
    QTest::newRow("45 columns stay") << QString(43, 'a') + " b" << QString(43, 'a') + " b";
    QTest::newRow("46 columns are cut") << QString(44, 'a') + " b" << QString(44, 'a') + " \r\nb";
    QTest::newRow("long word never split")
        << QString(60, 'x') + " tail" << QString(60, 'x') + " \r\ntail";
    QTest::newRow("hyphen breaks") << "aaa-bbb-ccc-ddd-eee-fff-ggg-hhh-iii-jjj-kkk-lll-mmm"
                                   << "aaa-bbb-ccc-ddd-eee-fff-ggg-hhh-iii-jjj-kkk-\r\nlll-mmm";
    QTest::newRow("tab breaks") << QString(40, 'a') + "\tbbbbbbbbbb"
                                << QString(40, 'a') + "\t\r\nbbbbbbbbbb";
    QTest::newRow("existing line break kept") << "first\r\nsecond"
                                              << "first\r\nsecond";
    QTest::newRow("blanks after an existing break start the next line") << "abc\r\n  def"
                                                                        << "abc\r\n\r\n  def";
    QTest::newRow("line break at the end") << "abc\r\n"
                                           << "abc\r\n";
    QTest::newRow("single quote run")
        << "The program 'some long program name with blanks inside' is missing now"
        << "The program \r\n'some long program name with blanks inside' \r\nis missing now";
    QTest::newRow("empty") << ""
                           << "";
}

void TestCommon::wrapMessage()
{
    QFETCH(QString, text);
    QFETCH(QString, wrapped);
    QCOMPARE(WrapMessage(text), wrapped);
}

void TestCommon::parseBoolean_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected"); // 1 true, 0 false, -1 error

    QTest::newRow("-1") << "-1" << 1;
    QTest::newRow("1") << "1" << 1;
    QTest::newRow("0") << "0" << 0;
    QTest::newRow("+0") << "+0" << 0;
    QTest::newRow("0.0") << "0.0" << 0;
    QTest::newRow("fraction") << "0.5" << 1;
    QTest::newRow("leading separator") << ".5" << 1;
    QTest::newRow("exponent") << "1e3" << 1;
    QTest::newRow("zero with exponent") << "0E-7" << 0;
    QTest::newRow("TRUE") << "TRUE" << 1;
    QTest::newRow("True") << "True" << 1;
    QTest::newRow("false") << "false" << 0;
    QTest::newRow("FaLsE") << "FaLsE" << 0;
    QTest::newRow("yes") << "yes" << -1;
    QTest::newRow("empty") << "" << -1;
    QTest::newRow("blank") << " " << -1;
    QTest::newRow("padded number") << " 1" << -1;
    QTest::newRow("padded word") << "true " << -1;
    QTest::newRow("exponent without digits") << "1e" << -1;
    QTest::newRow("sign alone") << "-" << -1;
    QTest::newRow("hex is no boolean") << "$1" << -1;
}

void TestCommon::parseBoolean()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    if (expected < 0) {
        QVERIFY_THROWS_EXCEPTION(ConvertError, ::parseBoolean(text));
    } else {
        QCOMPARE(::parseBoolean(text), expected == 1);
    }
}

void TestCommon::parseBooleanUsesLocaleDecimalSeparator()
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German));
    const bool comma = ::parseBoolean("0,5");
    bool pointRejected = false;
    try {
        ::parseBoolean("0.5");
    } catch (const ConvertError&) {
        pointRejected = true;
    }
    QLocale::setDefault(saved);
    QVERIFY(comma);
    QVERIFY(pointRejected);
}

void TestCommon::parseInteger_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("value");

    QTest::newRow("25") << "25" << true << 25;
    QTest::newRow("leading blanks") << "  465" << true << 465;
    QTest::newRow("plus") << "+7" << true << 7;
    QTest::newRow("minus one") << "-1" << true << -1;
    QTest::newRow("dollar hex") << "$1F" << true << 31;
    QTest::newRow("x hex") << "x10" << true << 16;
    QTest::newRow("0x hex") << "0X1a" << true << 26;
    QTest::newRow("negative hex") << "-$10" << true << -16;
    QTest::newRow("max") << "2147483647" << true << 2147483647;
    QTest::newRow("min") << "-2147483648" << true << int(-2147483648LL);
    QTest::newRow("too big") << "2147483648" << false << 0;
    QTest::newRow("too small") << "-2147483649" << false << 0;
    QTest::newRow("letters") << "abc" << false << 0;
    QTest::newRow("trailing blank") << "25 " << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("blanks only") << "   " << false << 0;
    QTest::newRow("prefix only") << "0x" << false << 0;
    QTest::newRow("decimal point") << "2.5" << false << 0;
    QTest::newRow("hex digit without prefix") << "1F" << false << 0;
}

void TestCommon::parseInteger()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, value);
    if (valid) {
        QCOMPARE(::parseInteger(text), value);
        return;
    }
    try {
        ::parseInteger(text);
        QFAIL("no error");
    } catch (const ConvertError& e) {
        QCOMPARE(QString::fromUtf8(e.what()),
                 QStringLiteral("'%1' is not a valid integer value").arg(text));
    }
}

void TestCommon::withFullStop_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");

    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("adds") << "'abc' is not a valid integer value"
                          << "'abc' is not a valid integer value.";
    QTest::newRow("has one") << "Done."
                             << "Done.";
    QTest::newRow("blank") << "end "
                           << "end ";
    QTest::newRow("bang") << "Stop!"
                          << "Stop!";
    QTest::newRow("paren") << "List index out of bounds (0)"
                           << "List index out of bounds (0)";
    QTest::newRow("slash is above") << "a/"
                                    << "a/.";
    QTest::newRow("digit") << "code 7"
                           << "code 7.";
}

void TestCommon::withFullStop()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QCOMPARE(::withFullStop(text), shown);
}

void TestCommon::takeLine_data()
{
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("rest");

    QTest::newRow("crlf") << QByteArray("abc\r\nnext") << true << QByteArray("abc")
                          << QByteArray("next");
    QTest::newRow("lf alone") << QByteArray("abc\nx") << true << QByteArray("abc")
                              << QByteArray("x");
    QTest::newRow("cr cr lf keeps one cr")
        << QByteArray("abc\r\r\n") << true << QByteArray("abc\r") << QByteArray();
    QTest::newRow("inner cr kept")
        << QByteArray("a\rb\n") << true << QByteArray("a\rb") << QByteArray();
    QTest::newRow("empty line") << QByteArray("\r\n") << true << QByteArray() << QByteArray();
    QTest::newRow("no lf yet") << QByteArray("abc\r") << false << QByteArray()
                               << QByteArray("abc\r");
    QTest::newRow("high bytes") << QByteArray("p\xe4ss\xff\r\n") << true
                                << QByteArray("p\xe4ss\xff") << QByteArray();
    QTest::newRow("16384 bytes") << QByteArray(16384, 'a') + "\n"
                                 << true << QByteArray(16384, 'a') << QByteArray();
    QTest::newRow("16383 and cr") << QByteArray(16383, 'a') + "\r\n"
                                  << true << QByteArray(16383, 'a') << QByteArray();
    QTest::newRow("16384 waiting")
        << QByteArray(16384, 'a') << false << QByteArray() << QByteArray(16384, 'a');
}

void TestCommon::takeLine()
{
    QFETCH(QByteArray, buffer);
    QFETCH(bool, complete);
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, rest);
    const auto taken = framing::takeLine(buffer);
    QCOMPARE(taken.has_value(), complete);
    if (complete)
        QCOMPARE(*taken, line);
    QCOMPARE(buffer, rest);
}

void TestCommon::takeLineRejectsOverlongLines_data()
{
    QTest::addColumn<QByteArray>("buffer");
    QTest::newRow("16385 before lf") << QByteArray(16385, 'a') + "\n";
    QTest::newRow("16384 and cr before lf") << QByteArray(16384, 'a') + "\r\n";
    QTest::newRow("16385 waiting without lf") << QByteArray(16385, 'a');
}

void TestCommon::takeLineRejectsOverlongLines()
{
    QFETCH(QByteArray, buffer);
    QVERIFY_THROWS_EXCEPTION(framing::FramingError, framing::takeLine(buffer));
}

void TestCommon::countedListRoundTrip()
{
    const QList<QByteArray> lines{"18", "", "a\xe9", "x,y|z"};
    QByteArray bytes = framing::encodeCountedList(lines);
    QCOMPARE(bytes.left(4), QByteArray("\x00\x00\x00\x04", 4));
    const auto count = framing::takeCount(bytes);
    QVERIFY(count);
    QCOMPARE(*count, 4);
    QList<QByteArray> read;
    while (auto line = framing::takeLine(bytes))
        read.append(*line);
    QCOMPARE(read, lines);
    QByteArray negative("\xff\xff\xff\xfe", 4);
    QCOMPARE(*framing::takeCount(negative), -2);
}

namespace {

const QList<QByteArray> Carriers{"First", "Second", "Third"};

// The list that follows "SaveSettings", its value for `setting` changed.
QList<QByteArray> saveListWith(Setting setting, const QByteArray& value)
{
    QList<QByteArray> list = AlertSettings().toSaveList(Carriers);
    list[1 + settingtable::wireIndex(setting)] = value;
    return list;
}

} // namespace

void TestCommon::settingsRoundTripKeepsBytes()
{
    AlertSettings s;
    s.set({{Setting::EmailAlerts, true},
           {Setting::FtpPage, true},
           {Setting::Recipients, QByteArray(" a@b.example , c@d.example ")},
           {Setting::SmtpServer, QByteArray()},
           {Setting::SmtpPort, QByteArray(" 0465")},
           {Setting::UseSsl, true},
           {Setting::SmtpUsername, QByteArray("user|name,with")},
           {Setting::SmtpPassword, QByteArray("p\xe4\xff\x80ss ")},
           {Setting::PhoneNumber, QByteArray("555-555-55555")},
           {Setting::Carrier, QByteArray("Third")},
           {Setting::Program, QByteArray("/usr/bin/env")},
           {Setting::HideTrayIcon, true}});
    AlertSettings back;
    back.set(AlertSettings::fromSaveList(s.toSaveList(Carriers), Carriers));
    QCOMPARE(back, s);
}

void TestCommon::settingsSaveListIsEighteenAndValues()
{
    AlertSettings s;
    const QList<QByteArray> list = s.toSaveList(Carriers);
    QCOMPARE(list.size(), 19);
    QCOMPARE(list[0], QByteArray("18"));
    const auto valueOf = [](const QList<QByteArray>& saved, Setting setting) {
        return saved[1 + settingtable::wireIndex(setting)];
    };
    QCOMPARE(valueOf(list, Setting::EmailAlerts), QByteArray("0"));
    QCOMPARE(valueOf(list, Setting::SmtpPort), QByteArray("25"));
    QCOMPARE(valueOf(list, Setting::Carrier), QByteArray("-1"));
    s.set(Setting::TextAlerts, true);
    s.set(Setting::Carrier, QByteArray("Second"));
    QCOMPARE(valueOf(s.toSaveList(Carriers), Setting::TextAlerts), QByteArray("-1"));
    QCOMPARE(valueOf(s.toSaveList(Carriers), Setting::Carrier), QByteArray("1"));
    // A carrier the list does not have is no carrier on the link.
    s.set(Setting::Carrier, QByteArray("Gone"));
    QCOMPARE(valueOf(s.toSaveList(Carriers), Setting::Carrier), QByteArray("-1"));
    // The settings of the extension are not among the 18.
    for (const QByteArray& value : s.toValues(Carriers))
        QVERIFY(!value.contains("desktop"));
}

void TestCommon::settingsRejectMalformedLists_data()
{
    QTest::addColumn<QList<QByteArray>>("list");
    const QList<QByteArray> good = AlertSettings().toSaveList(Carriers);
    QList<QByteArray> list = good;
    list.removeLast();
    QTest::newRow("18 lines") << list;
    list = good;
    list.append("extra");
    QTest::newRow("20 lines") << list;
    list = good;
    list[0] = "17";
    QTest::newRow("first line not 18") << list;
    QTest::newRow("bad boolean") << saveListWith(Setting::EmailAlerts, "yes");
    QTest::newRow("bad carrier") << saveListWith(Setting::Carrier, "abc");
}

void TestCommon::settingsRejectMalformedLists()
{
    QFETCH(QList<QByteArray>, list);
    QVERIFY_THROWS_EXCEPTION(ConvertError, AlertSettings::fromSaveList(list, Carriers));
}

void TestCommon::carrierOnTheLink_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("first") << QByteArray("0") << QByteArray("First");
    QTest::newRow("last") << QByteArray("2") << QByteArray("Third");
    QTest::newRow("none") << QByteArray("-1") << QByteArray();
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("outside the list") << QByteArray("3") << QByteArray();
    QTest::newRow("hexadecimal, as the window reads it")
        << QByteArray("$1") << QByteArray("Second");
}

void TestCommon::carrierOnTheLink()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, name);
    const SettingValues values =
        AlertSettings::fromSaveList(saveListWith(Setting::Carrier, line), Carriers);
    QCOMPARE(std::get<QByteArray>(values.at(Setting::Carrier)), name);
}

void TestCommon::keyedLines_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::newRow("a switch") << QByteArray("-1");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("blanks, =, %, |, quotes") << QByteArray(" a=b %41 | \"quoted\", ");
    QTest::newRow("line ends") << QByteArray("one\r\ntwo\n");
    QTest::newRow("not UTF-8") << QByteArray("p\xe4ss\xff");
}

void TestCommon::keyedLines()
{
    QFETCH(QByteArray, value);
    const QByteArray line = spelling::keyedLine("some-key", value);
    QVERIFY(!line.contains('\n') && !line.contains('\r'));
    QCOMPARE(line.count('='), 1);
    const auto [key, back] = spelling::splitKeyedLine(line);
    QCOMPARE(key, QByteArray("some-key"));
    QCOMPARE(back, value);
}

void TestCommon::malformedKeyedLines_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("no =") << QByteArray("desktop-notifications");
    QTest::newRow("no key") << QByteArray("=-1");
    QTest::newRow("a bare %") << QByteArray("key=50%");
    QTest::newRow("% and one digit") << QByteArray("key=%4");
    QTest::newRow("% and no hex") << QByteArray("key=%zz");
}

void TestCommon::malformedKeyedLines()
{
    QFETCH(QByteArray, line);
    QVERIFY_THROWS_EXCEPTION(ConvertError, spelling::splitKeyedLine(line));
}

void TestCommon::eachSettingKeyIsWrittenOnce()
{
    // Every key is in the table and in no other file of the program's sources.
    QMap<QString, QByteArray> sources;
    const QString root = qEnvironmentVariable("VELMORA_SOURCE_DIR") + QStringLiteral("/src/");
    QDirIterator files(root, {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        QVERIFY(file.open(QIODevice::ReadOnly));
        sources.insert(file.fileName().mid(root.size()), file.readAll());
    }
    const auto filesWith = [&sources](const char* key) {
        QStringList found;
        for (auto source = sources.cbegin(); source != sources.cend(); ++source) {
            if (source.value().contains('"' + QByteArray(key) + '"'))
                found << source.key();
        }
        return found;
    };
    // The same word for something else: the alert that runs the program is
    // called "program" in the service's log and its pending alerts.
    sources[QStringLiteral("service/alerts/AlertDispatcher.cpp")].replace("{\"program\", ", "");
    const QStringList table{QStringLiteral("common/SettingTable.h")};
    for (const SettingInfo& row : settingtable::all()) {
        QCOMPARE(filesWith(row.fileKey), table);
        if (row.formerFileKey)
            QCOMPARE(filesWith(row.formerFileKey), table);
    }
}

void TestCommon::fileSpellings_data()
{
    QTest::addColumn<SettingKind>("kind");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("reads");
    QTest::addColumn<QByteArray>("written"); // as it is written back

    QTest::newRow("switch true") << SettingKind::Switch << QByteArray("true") << true
                                 << QByteArray("true");
    QTest::newRow("switch FALSE") << SettingKind::Switch << QByteArray("FALSE") << true
                                  << QByteArray("false");
    QTest::newRow("switch -1") << SettingKind::Switch << QByteArray("-1") << false << QByteArray();
    QTest::newRow("switch empty") << SettingKind::Switch << QByteArray() << false << QByteArray();
    QTest::newRow("number") << SettingKind::Number << QByteArray("600") << true
                            << QByteArray("600");
    QTest::newRow("number in hex")
        << SettingKind::Number << QByteArray("$10") << true << QByteArray("16");
    QTest::newRow("number of letters")
        << SettingKind::Number << QByteArray("ten") << false << QByteArray();
    QTest::newRow("text") << SettingKind::Text << QByteArray(" a|b, \"c\" ") << true
                          << QByteArray(" a|b, \"c\" ");
    QTest::newRow("port of letters")
        << SettingKind::Port << QByteArray("abc") << true << QByteArray("abc");
    QTest::newRow("carrier") << SettingKind::Carrier << QByteArray("Third|Quoted") << true
                             << QByteArray("Third|Quoted");
}

void TestCommon::fileSpellings()
{
    QFETCH(SettingKind, kind);
    QFETCH(QByteArray, text);
    QFETCH(bool, reads);
    QFETCH(QByteArray, written);
    QString why;
    const std::optional<SettingValue> value = spelling::fromFile(kind, text, &why);
    QCOMPARE(bool(value), reads);
    QCOMPARE(why.isEmpty(), reads);
    if (value)
        QCOMPARE(spelling::inFile(kind, *value), written);
}

void TestCommon::bytesSurviveTheText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("plain") << QByteArray("secret") << QStringLiteral("secret");
    QTest::newRow("utf-8") << QByteArray("p\xc3\xa4ss \xe2\x86\x92 \xf0\x9f\x94\x91")
                           << QStringLiteral("p\u00e4ss \u2192 \U0001F511");
    QTest::newRow("latin-1 byte") << QByteArray("p\xe9ss")
                                  << QStringLiteral("p") + QChar(0xdce9) + QStringLiteral("ss");
    QTest::newRow("cut sequence at the end")
        << QByteArray("ab\xe2\x86") << QStringLiteral("ab") + QChar(0xdce2) + QChar(0xdc86);
    QTest::newRow("encoded surrogate")
        << QByteArray("\xed\xb3\xa9") << QString(QChar(0xdced)) + QChar(0xdcb3) + QChar(0xdca9);
    QTest::newRow("overlong slash")
        << QByteArray("\xc0\xaf") << QString(QChar(0xdcc0)) + QChar(0xdcaf);
    QByteArray every;
    for (int b = 1; b < 256; ++b)
        every.append(char(b));
    QTest::newRow("every byte") << every << QString();
}

void TestCommon::bytesSurviveTheText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    const QString shown = textKeepingBytes(bytes);
    if (!text.isNull())
        QCOMPARE(shown, text);
    QCOMPARE(bytesKeptInText(shown), bytes);
    // Text typed by the user is plain UTF-8.
    QCOMPARE(bytesKeptInText(QStringLiteral("typed \u00e9 \U0001F511")),
             QByteArray("typed \xc3\xa9 \xf0\x9f\x94\x91"));
}

void TestCommon::longTimeHasNoZone_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("time");
    QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates)
                           << QStringLiteral("7:14:30 AM");
    QTest::newRow("C") << QLocale::c() << QStringLiteral("07:14:30");
    QTest::newRow("de_DE") << QLocale(QLocale::German, QLocale::Germany)
                           << QStringLiteral("07:14:30");
    QTest::newRow("en_GB") << QLocale(QLocale::English, QLocale::UnitedKingdom)
                           << QStringLiteral("07:14:30");
}

void TestCommon::longTimeHasNoZone()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, time);
    QCOMPARE(alerttexts::longTime(locale, QTime(7, 14, 30)), time);
}

QTEST_APPLESS_MAIN(TestCommon)
#include "tst_common.moc"
