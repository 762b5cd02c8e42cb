// Writes the program's icon as a square PNG for the icon theme, drawn from its
// scalable artwork at the size asked for:
//   shardix-icon-png ICON.svg SIZE OUT.png
#include <QImage>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: shardix-icon-png ICON.svg SIZE OUT.png\n");
        return 2;
    }
    QSvgRenderer artwork(QString::fromLocal8Bit(argv[1]));
    const int size = std::atoi(argv[2]);
    if (!artwork.isValid() || size < 1) {
        std::fprintf(stderr, "shardix-icon-png: cannot read %s or bad size %s\n", argv[1], argv[2]);
        return 1;
    }
    QImage picture(size, size, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    artwork.render(&painter);
    painter.end();
    if (!picture.save(QString::fromLocal8Bit(argv[3]), "PNG")) {
        std::fprintf(stderr, "shardix-icon-png: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
