// A test-only Qt plugin that reads the History Log list of an installed velmora the
// way assistive technologies read it. The package test loads it into the unchanged
// program with QT_PLUGIN_PATH and QT_QPA_GENERIC_PLUGINS=velmorahistoryprobe:<file>.
// Once the window shows, it turns to the History Log page from the keyboard (End on
// the page tabs, as a user would), writes the list's rows to <file>, one
// "date,public,local" line each, and ends the program. A window that never shows a
// list ends it after 20 seconds with no file written.
#include <QAccessible>
#include <QAccessibleInterface>
#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QGenericPlugin>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>

namespace {

// The first node below `node` (itself included) with that role and name; tables
// and lists are not searched into, as their cells are not what is looked for.
QAccessibleInterface* find(QAccessibleInterface* node, QAccessible::Role role, const QString& name)
{
    if (!node)
        return nullptr;
    if (node->role() == role && node->text(QAccessible::Name) == name)
        return node;
    if (node->tableInterface())
        return nullptr;
    for (int i = 0; i < node->childCount(); ++i)
        if (QAccessibleInterface* found = find(node->child(i), role, name))
            return found;
    return nullptr;
}

QAccessibleInterface* findInWindows(QAccessible::Role role, const QString& name)
{
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible())
            continue;
        if (QAccessibleInterface* found =
                find(QAccessible::queryAccessibleInterface(window), role, name))
            return found;
    }
    return nullptr;
}

QByteArray rowsOf(QAccessibleTableInterface* table)
{
    QByteArray rows;
    for (int row = 0; row < table->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < table->columnCount(); ++column) {
            QAccessibleInterface* cell = table->cellAt(row, column);
            cells << (cell ? cell->text(QAccessible::Name) : QString());
        }
        rows += cells.join(u',').toUtf8() + '\n';
    }
    return rows;
}

class HistoryProbe : public QObject
{
public:
    explicit HistoryProbe(QString outputFile)
        : m_outputFile(std::move(outputFile)), m_deadline(20000)
    {
        connect(&m_timer, &QTimer::timeout, this, &HistoryProbe::poll);
        m_timer.start(100);
    }

private:
    void poll()
    {
        if (m_deadline.hasExpired()) {
            QCoreApplication::exit(3);
            return;
        }
        QAccessibleInterface* pages = findInWindows(QAccessible::List, QStringLiteral("Pages"));
        QAccessibleInterface* log =
            findInWindows(QAccessible::Table, QStringLiteral("History Log"));
        if (!pages || !log)
            return;
        if (log->state().invisible) {
            auto* tabs = qobject_cast<QWidget*>(pages->object());
            if (!tabs)
                return;
            QKeyEvent press(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier);
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_End, Qt::NoModifier);
            QCoreApplication::sendEvent(tabs, &press);
            QCoreApplication::sendEvent(tabs, &release);
            return; // read on the next round, once the page has shown
        }
        QAccessibleTableInterface* table = log->tableInterface();
        if (!table)
            return;
        QFile file(m_outputFile);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(rowsOf(table)) < 0 || !file.flush()) {
            QCoreApplication::exit(4);
            return;
        }
        file.close();
        m_timer.stop();
        QCoreApplication::exit(0);
    }

    QString m_outputFile;
    QDeadlineTimer m_deadline;
    QTimer m_timer;
};

} // namespace

class HistoryProbePlugin : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "HistoryProbe.json")
public:
    QObject* create(const QString& key, const QString& parameters) override
    {
        if (key.compare(QLatin1String("velmorahistoryprobe"), Qt::CaseInsensitive) != 0)
            return nullptr;
        return new HistoryProbe(parameters);
    }
};

#include "HistoryProbe.moc"
