#pragma once

#include <QByteArray>

// The parts of an e-mail message as a test reads them: as it was sent (lines end
// in CR LF) or as a mail server stored it (Postfix's Maildir: LF).
namespace mailtext {

// The header lines, up to the blank line that ends them.
QByteArray headerBlock(const QByteArray& message);
QByteArray bodyOf(const QByteArray& message);
// The value of the first header line "name: ...", without its line end; empty when none.
QByteArray headerOf(const QByteArray& message, const QByteArray& name);

} // namespace mailtext
