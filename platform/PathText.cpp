#include "platform/PathText.h"

#include "errors/Quoted.h"

#include <QDir>

#include <algorithm>
#include <cstring>

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

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The end of the run of digits that starts at `at`.
qsizetype digitsEnd(const QByteArray& text, qsizetype at) {
    while (at < text.size() && isDigit(text[at]))
        ++at;
    return at;
}

// The start of the number written by the digits from `at` to `end`, past its
// leading zeros; one zero stays for a run of zeros.
qsizetype numberStart(const QByteArray& text, qsizetype at, qsizetype end) {
    while (at + 1 < end && text[at] == '0')
        ++at;
    return at;
}

// Compares the numbers written by two runs of digits.
int compareNumbers(const QByteArray& a, qsizetype aStart, qsizetype aEnd, const QByteArray& b,
                   qsizetype bStart, qsizetype bEnd) {
    const qsizetype aFrom = numberStart(a, aStart, aEnd);
    const qsizetype bFrom = numberStart(b, bStart, bEnd);
    if (aEnd - aFrom != bEnd - bFrom)
        return aEnd - aFrom < bEnd - bFrom ? -1 : 1;
    return std::memcmp(a.constData() + aFrom, b.constData() + bFrom,
                       static_cast<std::size_t>(aEnd - aFrom));
}

} // namespace

int compareNaturally(const QByteArray& a, const QByteArray& b) {
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            const qsizetype aEnd = digitsEnd(a, i);
            const qsizetype bEnd = digitsEnd(b, j);
            if (const int order = compareNumbers(a, i, aEnd, b, j, bEnd); order != 0)
                return order;
            i = aEnd;
            j = bEnd;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]) ? -1 : 1;
        ++i;
        ++j;
    }
    return (i < a.size()) - (j < b.size());
}

void sortNaturally(QStringList& names) {
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const QByteArray x = a.toUtf8();
        const QByteArray y = b.toUtf8();
        const int order = compareNaturally(x, y);
        return order != 0 ? order < 0 : x < y;
    });
}

} // namespace shardix
