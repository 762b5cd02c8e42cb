// Writes the program's icon as a square PNG for the icon theme:
//   shardix-icon-png ICON SIZE OUT.png
// Whole multiples of the artwork's size keep its pixels sharp; other sizes are
// smoothed.
#include <QImage>
#include <QString>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: shardix-icon-png ICON SIZE OUT.png\n");
        return 2;
    }
    const QImage icon(QString::fromLocal8Bit(argv[1]));
    const int size = std::atoi(argv[2]);
    if (icon.isNull() || size < 1) {
        std::fprintf(stderr, "shardix-icon-png: cannot read %s or bad size %s\n", argv[1], argv[2]);
        return 1;
    }
    const bool whole = size % icon.width() == 0 && size % icon.height() == 0;
    const QImage scaled = icon.scaled(size, size, Qt::KeepAspectRatio,
                                      whole ? Qt::FastTransformation : Qt::SmoothTransformation);
    if (!scaled.save(QString::fromLocal8Bit(argv[3]), "PNG")) {
        std::fprintf(stderr, "shardix-icon-png: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
