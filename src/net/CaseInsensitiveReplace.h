#pragma once

#include <QByteArray>

// Replaces every occurrence of searchText in text by replacement, letters
// matching regardless of case. The scan runs from the start, occurrences do not
// overlap and inserted replacements are not searched again. An empty
// searchText changes nothing.
//
// The text is 8-bit: ASCII letters always match in either case; when both
// texts are valid UTF-8 and the search text has other letters, those match in
// either case too. Bytes outside the occurrences are kept as they are.
QByteArray replaceCaseInsensitive(const QByteArray& text, const QByteArray& searchText,
                                  const QByteArray& replacement);
