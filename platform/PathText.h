#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace shardix {

// Path texts as the windows write them.

// A folder without a trailing "/" except at the root, cleaned of "." and "..".
QString folderText(const QString& path);
// The folder of a file path, written as folderText writes it.
QString folderOf(const QString& filePath);
// `folder` with exactly one trailing "/"; the root stays "/".
QString withSlash(const QString& folder);
// A path inside a text, as shownName() shows a file's name: as it is when it
// is printable, otherwise in the shell-escape form.
QString shownPath(const QString& path);
// Sorts names in the byte order of their UTF-8 forms, so that part1, part10,
// part11, ..., part2 follow each other.
void sortByBytes(QStringList& names);
// Sorts names as file managers show them: each run of digits by the number it
// writes (part2 before part10, whatever zeros lead it), the rest by the bytes
// of its UTF-8 form; names alike but for leading zeros ("p01", "p1") in byte
// order. The pieces of one base name follow each other in number order.
void sortNaturally(QStringList& names);
// <0, 0 or >0 as `a` comes before, with or after `b` in sortNaturally's order
// of runs (0 for names alike but for leading zeros).
int compareNaturally(const QByteArray& a, const QByteArray& b);

} // namespace shardix
