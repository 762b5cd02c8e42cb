#pragma once

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

} // namespace shardix
