// Every setting of the table on its whole way: from the settings file, through
// the real service's store and the link, into the window's controls, and back
// through the link into the file, which ends as it began, byte for byte.
#include "MainFormFixture.h"
#include "support/EchoHttpServer.h"
#include "support/RunningService.h"

#include "common/SettingSpelling.h"
#include "common/TextConvert.h"
#include "service/settings/ValueEscapes.h"
#include "support/TestFiles.h"
#include "support/TestTime.h"
#include "toolkit/OnOffSwitch.h"
#include "ui_MainForm.h"

#include <QPlainTextEdit>
#include <QtTest>

namespace {

// The carriers, with names that need care: a leading blank, a "|" and quotes
// (in the list's own quoting), bytes that are not UTF-8.
const QByteArray CarrierFile = "First|txt.example.net\n"
                               " Blank Start|blank.example.net\n"
                               "\"Bar|Name\"|bar.example.net\n"
                               "\"Say \"\"Hi\"\"\"|quote.example.net\n"
                               "Caf\xe9|latin.example.net\n";

// One kind of odd value for every setting: texts ("{}" stands for the
// setting's key, so that no two settings hold the same text), the port, the
// carrier's name, and the first switch's state (the next one's is the opposite,
// and so on).
struct Flavour
{
    QByteArray text;
    QByteArray port;
    QByteArray carrier;
    bool firstSwitchOn;
    int number; // a position every list of choices has (0 or 1)
};

QByteArray valueFor(const SettingInfo& row, const Flavour& flavour)
{
    switch (row.kind) {
    case SettingKind::Text:
        return QByteArray(flavour.text).replace("{}", row.fileKey);
    case SettingKind::Port:
        return flavour.port;
    case SettingKind::Carrier:
        return flavour.carrier;
    case SettingKind::Number:
        return QByteArray::number(flavour.number);
    case SettingKind::Switch:
        break;
    }
    qFatal("no odd value for %s", row.fileKey);
}

bool switchFor(const SettingInfo& row, const Flavour& flavour)
{
    int before = 0;
    for (const SettingInfo& other : settingtable::all()) {
        if (other.setting == row.setting)
            break;
        before += other.kind == SettingKind::Switch ? 1 : 0;
    }
    return flavour.firstSwitchOn != (before % 2 == 1);
}

// The file as the service writes it, a comment and a key it does not know among
// the settings.
QByteArray settingsFile(const Flavour& flavour)
{
    QByteArray text = "# odd values, each setting once\n";
    for (const SettingInfo& row : settingtable::all()) {
        const SettingValue value =
            row.kind == SettingKind::Switch               ? SettingValue(switchFor(row, flavour))
            : row.setting == Setting::PublicCheckInterval ? SettingValue(45 + flavour.number)
            : row.kind == SettingKind::Number             ? SettingValue(flavour.number)
                                                          : SettingValue(valueFor(row, flavour));
        text += QByteArray(row.fileKey) + '=' +
                valueescapes::escape(spelling::inFile(row.kind, value)) + '\n';
        if (row.setting == Setting::SmtpPort)
            text += "colour = blue\n";
    }
    return text;
}

// A control's state, set back later; and a change of it.
QVariant stateOf(QWidget* control)
{
    if (auto* onOff = qobject_cast<OnOffSwitch*>(control))
        return onOff->isOn();
    if (auto* box = qobject_cast<QCheckBox*>(control))
        return box->isChecked();
    if (auto* field = qobject_cast<QLineEdit*>(control))
        return field->text();
    if (auto* lines = qobject_cast<QPlainTextEdit*>(control))
        return lines->toPlainText();
    return qobject_cast<QComboBox*>(control)->currentIndex();
}

void setState(QWidget* control, const QVariant& state)
{
    if (auto* onOff = qobject_cast<OnOffSwitch*>(control))
        onOff->setOn(state.toBool());
    else if (auto* box = qobject_cast<QCheckBox*>(control))
        box->setChecked(state.toBool());
    else if (auto* field = qobject_cast<QLineEdit*>(control))
        field->setText(state.toString());
    else if (auto* lines = qobject_cast<QPlainTextEdit*>(control))
        lines->setPlainText(state.toString());
    else
        qobject_cast<QComboBox*>(control)->setCurrentIndex(state.toInt());
}

void changeState(QWidget* control)
{
    const QVariant state = stateOf(control);
    if (state.typeId() == QMetaType::Bool)
        setState(control, !state.toBool());
    else if (state.typeId() == QMetaType::QString)
        setState(control, QStringLiteral("changed ") + control->objectName());
    else
        setState(control, state.toInt() == 0 ? 1 : 0);
}

} // namespace

Q_DECLARE_METATYPE(Flavour)

class TestSettingsRoundTrip : public QObject
{
    Q_OBJECT
private slots:
    void everySettingRoundTrips_data();
    void everySettingRoundTrips();
};

void TestSettingsRoundTrip::everySettingRoundTrips_data()
{
    QTest::addColumn<Flavour>("flavour");
    QTest::newRow("blanks") << Flavour{"  two {}  blanks  ", " 25", " Blank Start", true, 1};
    QTest::newRow("commas and bars")
        << Flavour{"a@example.com, {}@example.org|c,", "2,5", "Bar|Name", false, 0};
    QTest::newRow("quotes") << Flavour{"\"{}\" and 'single' \"", "\"25\"", "Say \"Hi\"", true, 1};
    QTest::newRow("not UTF-8") << Flavour{"p\xe4ss\xff\x80 {} w\xf6rd\xc3", "2\xff", "Caf\xe9",
                                          false, 0};
    QTest::newRow("escapes") << Flavour{"\\{}\\x41\\s%41 = #", "\\25", "First", true, 1};
    QTest::newRow("empty") << Flavour{"", "", "", false, 0};
}

void TestSettingsRoundTrip::everySettingRoundTrips()
{
    QFETCH(Flavour, flavour);
    EchoHttpServer echo;
    echo.setAddress("203.0.113.7");
    RunningService service;
    const QByteArray original = settingsFile(flavour);
    QVERIFY(testfiles::writeFile(service.settingsFile(), original));
    QVERIFY(
        testfiles::writeFile(service.configDir() + QStringLiteral("/carriers.txt"), CarrierFile));
    QVERIFY2(service.start({echo.url()}), qPrintable(service.errorText()));

    MainFormFixture window;
    window.adjustContext = [&service](MainFormContext& context) {
        context.servicePort = service.port();
    };
    TFormMain& form = window.create();
    QVERIFY(window.dialogs.shown.isEmpty());

    // Each control shows its setting's value.
    for (const SettingInfo& row : settingtable::all()) {
        if (!row.hasControl())
            continue; // the settings file's alone
        QWidget* control = form.findChild<QWidget*>(QString::fromLatin1(row.control));
        QVERIFY2(control, row.control);
        QVERIFY2(control->isEnabled() || !row.isKeyed(), row.fileKey);
        if (auto* onOff = qobject_cast<OnOffSwitch*>(control)) {
            QVERIFY2(onOff->isOn() == switchFor(row, flavour), row.fileKey);
        } else if (auto* box = qobject_cast<QCheckBox*>(control)) {
            QVERIFY2(box->isChecked() == switchFor(row, flavour), row.fileKey);
        } else if (auto* field = qobject_cast<QLineEdit*>(control)) {
            QCOMPARE(bytesKeptInText(field->text()), valueFor(row, flavour));
        } else if (auto* lines = qobject_cast<QPlainTextEdit*>(control)) {
            QCOMPARE(bytesKeptInText(lines->toPlainText()), valueFor(row, flavour));
        } else if (auto* list = qobject_cast<QComboBox*>(control);
                   list && row.kind == SettingKind::Number) {
            QCOMPARE(list->currentIndex(), flavour.number);
        } else if (auto* carriers = qobject_cast<QComboBox*>(control)) {
            QCOMPARE(bytesKeptInText(carriers->currentText()), flavour.carrier);
            QCOMPARE(carriers->currentIndex() >= 0, !flavour.carrier.isEmpty());
        } else {
            QFAIL(row.control);
        }
    }

    // Saved from the window: once with every control changed, so that every
    // setting is seen to travel, then as it came.
    QList<std::pair<QWidget*, QVariant>> shown;
    for (const SettingInfo& row : settingtable::all()) {
        if (!row.hasControl())
            continue;
        QWidget* control = form.findChild<QWidget*>(QString::fromLatin1(row.control));
        shown.append({control, stateOf(control)});
        changeState(control);
    }
    form.SaveSettings();
    QVERIFY(!window.ui().btnApply->isEnabled());
    // No line of a setting the window shows stays as it was (the written file is
    // replaced whole, at once); the others stay exactly.
    const auto everyLineChanged = [&service, &original] {
        const QList<QByteArray> lines = testfiles::readFile(service.settingsFile()).split('\n');
        for (const QByteArray& line : original.split('\n')) {
            const std::optional<Setting> setting =
                settingtable::withFileKey(line.left(line.indexOf('=')));
            if (!setting)
                continue;
            if (lines.contains(line) == settingtable::info(*setting).hasControl())
                return false;
        }
        return true;
    };
    QTRY_VERIFY(everyLineChanged());
    for (const auto& [control, state] : shown)
        setState(control, state);
    form.SaveSettings();
    QTRY_COMPARE(testfiles::readFile(service.settingsFile()), original);
}

QTEST_MAIN(TestSettingsRoundTrip)
#include "tst_settings_round_trip.moc"
