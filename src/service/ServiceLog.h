#pragma once

#include <QString>

// The service's messages go to stderr, one line each, so that the journal (or
// the file run.sh redirects to) keeps them whole.
void logLine(const QString& text);
