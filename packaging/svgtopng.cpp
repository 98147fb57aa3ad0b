// svgtopng: renders an SVG file into a square PNG, for the fixed-size icons the package
// installs beside the scalable one. Usage: svgtopng <in.svg> <out.png> <size>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: svgtopng <in.svg> <out.png> <size>\n");
        return 2;
    }
    bool sizeIsNumber = false;
    const int size = QByteArray(argv[3]).toInt(&sizeIsNumber);
    QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
    if (!renderer.isValid() || !sizeIsNumber || size < 1) {
        std::fprintf(stderr, "svgtopng: cannot render %s at size %s\n", argv[1], argv[3]);
        return 1;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        renderer.render(&painter);
    }
    if (!image.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "svgtopng: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
