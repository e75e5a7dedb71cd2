#pragma once

#include <QList>
#include <QPair>
#include <QString>

// Filling a page template: every occurrence of a placeholder is replaced,
// letters matching regardless of case (see replaceCaseInsensitive). Files are
// read and written whole as 8-bit bytes; texts given here go in as the
// locale's 8-bit encoding.
//
// Errors are std::runtime_error with the file's full path and the system's
// reason: "Cannot open file \"<path>\". <reason>" when it cannot be read,
// "Cannot create file \"<path>\". <reason>" when it cannot be written. A file
// that cannot be written keeps its previous content.

// Replaces in place.
void ReplaceInFile(const QString& fileName, const QString& searchText, const QString& replacement);

// Reads the template, applies the replacements in order and writes the result
// to targetFileName; the template itself stays as it is.
void fillTemplateCopy(const QString& templateFileName, const QString& targetFileName,
                      const QList<QPair<QString, QString>>& replacements);
