#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <chrono>

class QProcess;

// How one run of a helper ended, and what it reported on its standard output.
// In a child between fork and exec (async-signal-safe calls only): every
// signal's handling back to its default and none blocked, as a newly started
// program expects.
void restoreDefaultSignals();

struct HelperEnd
{
    enum Kind
    {
        Exited,     // it ended by itself: exitCode says how
        Crashed,    // a signal ended it
        NotStarted, // it could not be started: error says why
        TooLong,    // it ran past its time limit and was killed
    };
    Kind kind = NotStarted;
    int exitCode = -1;
    QByteArray report; // its standard output, also when it crashed or was killed
    QString error;     // why it did not start

    bool succeeded() const { return kind == Exited && exitCode == 0; }
};

// The one way a helper program (or a program a helper runs) runs: started with every signal in its
// default state, none blocked and none ignored (the service blocks SIGTERM and SIGINT to read them
// itself, and a child inherits the mask and what is ignored across exec), its job written to its
// standard input, which is then closed (never the command line, where other users could read a
// password), its report read from its standard output, and killed once its time limit, counted from
// its start, is over.
class HelperRun : public QObject
{
    Q_OBJECT
public:
    enum class Errors
    {
        Forwarded, // its standard error goes where the caller's goes (the journal)
        Discarded,
        InReport, // mixed into its report, for a program that tells its failures there
    };
    struct Setup
    {
        QString program;
        QStringList arguments;
        QByteArray job;
        std::chrono::milliseconds limit{0};
        Errors errors = Errors::Forwarded;
    };

    explicit HelperRun(Setup setup, QObject* parent = nullptr);
    // Kills a helper still running.
    ~HelperRun() override;

    // Starts the helper; ended() follows once, from the event loop.
    void start();
    bool isRunning() const { return m_process != nullptr; }

    // Runs a helper to its end and waits for it, without an event loop.
    static HelperEnd run(const Setup& setup);

signals:
    // Delete this object from here with deleteLater() only.
    void ended(const HelperEnd& end);

private:
    void onStarted();
    void onFinished();
    void onFailedToStart();
    void onTooLong();
    void end(HelperEnd how);

    const Setup m_setup;
    QProcess* m_process = nullptr;
    QTimer m_deadline;
    bool m_tooLong = false;
};
