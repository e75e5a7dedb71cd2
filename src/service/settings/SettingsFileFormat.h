#pragma once

#include "common/AlertSettings.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <optional>

// The settings file, made to be read and edited by people:
//
//   # a comment (a line whose first non-blank is "#"), and blank lines
//   recipients=carol@example.com, dave@example.com
//   use-ssl = true
//   smtp-password=p\xE9ss\s
//
// One key=value a line; blanks around the key and the value are not part of
// them; booleans are true or false; values are bytes, escaped as ValueEscapes.h
// says where they are not plain text. The keys, their kinds and their defaults
// are those of SettingTable.h. The carrier is its name in the carrier list; a
// number there (as files of earlier versions hold) is its position in the list.
//
// A file whose first line is "velmora-service settings 1" is of the earlier
// form: that line, then "name=value" with camel-case names and percent-encoded
// values. It is read as before, and written anew in the form above.
//
// A line that cannot be understood costs only its own key (which keeps its
// default) and is reported; a value with a raw control byte in it is not
// understood. Comments, blank lines and lines of keys this version does not
// know are written back as they stood (those of a file of the earlier form as
// comments), lines of nothing but NUL bytes (what a crash leaves) are not.
namespace settingsfile {

inline constexpr char FormerHeader[] = "velmora-service settings 1";

// One line of the file as it is kept for writing back: its text, or the key
// whose current value goes there.
struct Line
{
    QByteArray text;
    std::optional<Setting> setting; // whose value goes there; none for text kept as it stood
};

struct SettingsFile
{
    AlertSettings settings;
    QList<Line> lines;          // the layout to write back; empty for a new file
    bool byteOrderMark = false; // the file began with the UTF-8 mark some editors put first
    QStringList problems;       // "line 7: ..." for each line not understood, in order
};

// Reads either form. Never fails: what cannot be understood is in problems.
// A carrier given by its position in `carrierNames` becomes that carrier's
// name; a name, or a position the list does not have, is kept as it stands.
SettingsFile read(const QByteArray& text, const QList<QByteArray>& carrierNames);

// The text of the file: the kept lines with every key's current value in its
// place, and the keys not among them after (or, for a new file, a short
// explanation and every key), in the table's order.
QByteArray write(const SettingsFile& file);

} // namespace settingsfile
