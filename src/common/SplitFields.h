#pragma once

#include <QChar>
#include <QString>
#include <QStringList>

// Splits text at every delimiter into fields, which replace the list's contents.
// Nothing is trimmed; an empty text gives no fields; a trailing delimiter gives a
// final empty field. A field that begins with a double quote runs to its closing
// quote (a doubled quote inside stands for one), so delimiters inside do not split;
// text after the closing quote up to the next delimiter is a field of its own.
void SplitFields(QChar delimiter, const QString& text, QStringList& fields);
