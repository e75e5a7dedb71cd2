#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// Runs a program to its end, its output and errors merged, within half a minute
// (scaled); one that takes longer is killed. Its exit code, or -1 when it did
// not end by itself or ended by a signal.
int runToEnd(const QString& program, const QStringList& arguments, QString* output = nullptr,
             const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());
