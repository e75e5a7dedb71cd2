// Showing the History Log page for large and odd logs: the time of the first showing
// and of showing it again unchanged, and the peak memory, beside the bare read of the
// same file in the same run (the floor).
//
// Usage: bench_history_log          every case, each in a process of its own
//        bench_history_log <file>   one case: shows that log, prints one result line
#include "MainFormFixture.h"
#include "main_form/HistoryLogModel.h"
#include "toolkit/SidePager.h"
#include "ui_MainForm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTreeView>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int againRuns = 5;
constexpr int floorRuns = 3;

// A figure of /proc/self/status, in kB.
qint64 statusKb(const char* key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

double elapsedMs(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// Shows the page and paints the list, as a user would see it.
double showLogPage(MainFormFixture& window)
{
    QElapsedTimer timer;
    timer.start();
    window.form().pager().setCurrentIndex(TFormMain::LogPage);
    window.ui().lvLog->viewport()->repaint();
    return elapsedMs(timer);
}

// One case, in this process: "<rows> <first ms> <again ms> <peak kB before> <peak kB after>
// <ms to read the rows alone>".
int showOne(const QString& path)
{
    MainFormFixture window;
    window.adjustContext = [&path](MainFormContext& context) { context.logFilePath = path; };
    window.create();
    window.form().show();
    QApplication::processEvents();
    const qint64 peakBefore = statusKb("VmHWM:");

    const double first = showLogPage(window);
    const qint64 peakAfter = statusKb("VmHWM:");
    double again = 1e9;
    for (int run = 0; run < againRuns; ++run) {
        window.form().pager().setCurrentIndex(TFormMain::EmailPage);
        QApplication::processEvents();
        again = std::min(again, showLogPage(window));
    }
    // Of the first showing, what reading the file into rows takes, without the list.
    double rowsOnly = 1e9;
    for (int run = 0; run < againRuns; ++run) {
        HistoryLogModel rows;
        QElapsedTimer timer;
        timer.start();
        rows.refresh(path);
        rowsOnly = std::min(rowsOnly, elapsedMs(timer));
    }
    std::printf("%d %.1f %.2f %lld %lld %.1f\n", window.form().historyLog().rowCount(), first,
                again, peakBefore, peakAfter, rowsOnly);
    return 0;
}

// The floor: the file read whole into memory, nothing else (best of a few, page cache warm).
double readFloorMs(const QString& path)
{
    double best = 1e9;
    for (int run = 0; run <= floorRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return -1;
        const QByteArray bytes = file.readAll();
        if (run > 0) // the first run warms the cache
            best = std::min(best, elapsedMs(timer));
        if (bytes.isEmpty())
            return -1;
    }
    return best;
}

QByteArray logLines(int count)
{
    QByteArray text;
    text.reserve(qsizetype(count) * 46);
    for (int i = 0; i < count; ++i)
        text += QStringLiteral("2026-%1-%2 %3:%4:%5,203.0.%6.%7,192.168.%8.%9\r\n")
                    .arg(i / 2419200 % 12 + 1, 2, 10, QLatin1Char('0'))
                    .arg(i / 86400 % 28 + 1, 2, 10, QLatin1Char('0'))
                    .arg(i / 3600 % 24, 2, 10, QLatin1Char('0'))
                    .arg(i / 60 % 60, 2, 10, QLatin1Char('0'))
                    .arg(i % 60, 2, 10, QLatin1Char('0'))
                    .arg(i / 250 % 250)
                    .arg(i % 250)
                    .arg(i / 200 % 200)
                    .arg(i % 200)
                    .toLatin1();
    return text;
}

struct Case
{
    QString name;
    QByteArray contents;
};

int runAll(const QString& program)
{
    QTemporaryDir folder;
    if (!folder.isValid())
        return 1;
    const QByteArray million = logLines(1000000);
    QByteArray hundredMb;
    while (hundredMb.size() < 100 << 20)
        hundredMb += million;
    hundredMb.truncate(hundredMb.lastIndexOf('\n', 100 << 20) + 1);
    const QList<Case> cases = {
        {QStringLiteral("10k lines"), logLines(10000)},
        {QStringLiteral("100k lines"), logLines(100000)},
        {QStringLiteral("1M lines"), million},
        {QStringLiteral("one 50 MB line"), QByteArray(50 << 20, 'x')},
        {QStringLiteral("100 MB of lines"), hundredMb},
    };

    QTextStream out(stdout);
    out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9\n")
               .arg(QStringLiteral("case"), -16)
               .arg(QStringLiteral("file MB"), 8)
               .arg(QStringLiteral("rows"), 8)
               .arg(QStringLiteral("read ms"), 8)
               .arg(QStringLiteral("show ms"), 8)
               .arg(QStringLiteral("(rows ms)"), 9)
               .arg(QStringLiteral("x read"), 7)
               .arg(QStringLiteral("again ms"), 9)
               .arg(QStringLiteral("peak MB (page adds)"), 20);
    QStringList verdicts;
    for (const Case& c : cases) {
        const QString path = folder.filePath(QStringLiteral("velmora.log"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(c.contents) != c.contents.size())
            return 1;
        file.close();
        const double floor = readFloorMs(path);

        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        child.setProcessEnvironment(environment);
        child.start(program, {path});
        if (!child.waitForFinished(300000)) {
            child.kill();
            child.waitForFinished(5000);
            out << c.name << ": no result within 300 s\n";
            verdicts << c.name + QStringLiteral(": FAIL (did not finish)");
            continue;
        }
        const QList<QByteArray> figures = child.readAllStandardOutput().trimmed().split(' ');
        if (child.exitCode() != 0 || figures.size() != 6) {
            out << c.name << ": failed\n" << child.readAllStandardError();
            return 1;
        }
        const int rows = figures[0].toInt();
        const double first = figures[1].toDouble();
        const double again = figures[2].toDouble();
        const double peakMb = figures[4].toDouble() / 1024;
        const double addedMb = (figures[4].toDouble() - figures[3].toDouble()) / 1024;
        out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9\n")
                   .arg(c.name, -16)
                   .arg(double(c.contents.size()) / (1 << 20), 8, 'f', 1)
                   .arg(rows, 8)
                   .arg(floor, 8, 'f', 1)
                   .arg(first, 8, 'f', 1)
                   .arg(figures[5].toDouble(), 9, 'f', 1)
                   .arg(first / floor, 7, 'f', 1)
                   .arg(again, 9, 'f', 2)
                   .arg(QStringLiteral("%1 (+%2)").arg(peakMb, 0, 'f', 0).arg(addedMb, 0, 'f', 0),
                        20);
        out.flush();
        const auto verdict = [&verdicts, &c](const QString& goal, bool met) {
            verdicts << QStringLiteral("%1: %2 %3")
                            .arg(c.name, goal,
                                 met ? QStringLiteral("met") : QStringLiteral("NOT met"));
        };
        if (c.name == QLatin1String("100k lines")) {
            verdict(QStringLiteral("shown in < 300 ms"), first < 300);
            verdict(QStringLiteral("page adds < 100 MB"), addedMb < 100);
        } else if (c.name == QLatin1String("1M lines")) {
            verdict(QStringLiteral("shown again unchanged in < 20 ms"), again < 20);
            verdict(QStringLiteral("first showing < 5x the bare read"), first < 5 * floor);
        } else if (c.name == QLatin1String("one 50 MB line")) {
            verdict(QStringLiteral("shown in < 1 s"), first < 1000);
        }
    }
    out << "\nGoals (from the same run):\n";
    for (const QString& verdict : std::as_const(verdicts))
        out << "  " << verdict << '\n';
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc > 1) {
        QApplication application(argc, argv);
        return showOne(QString::fromLocal8Bit(argv[1]));
    }
    QCoreApplication application(argc, argv);
    return runAll(QCoreApplication::applicationFilePath());
}
