#include "platform/PathText.h"

#include "errors/Quoted.h"

#include <QDir>

#include <algorithm>

namespace shardix {

QString folderText(const QString& path) {
    const QString clean = QDir::cleanPath(path);
    return clean.isEmpty() ? QStringLiteral("/") : clean;
}

QString folderOf(const QString& filePath) {
    const qsizetype slash = filePath.lastIndexOf(QLatin1Char('/'));
    return folderText(slash <= 0 ? QStringLiteral("/") : filePath.left(slash));
}

QString withSlash(const QString& folder) {
    QString text = folder;
    while (text.size() > 1 && text.endsWith(QLatin1Char('/')))
        text.chop(1);
    return text.endsWith(QLatin1Char('/')) ? text : text + QLatin1Char('/');
}

QString shownPath(const QString& path) {
    return QString::fromStdString(shownName(path.toStdString()));
}

void sortByBytes(QStringList& names) {
    std::sort(names.begin(), names.end(),
              [](const QString& a, const QString& b) { return a.toUtf8() < b.toUtf8(); });
}

} // namespace shardix
