// orva-icon-export: writes a bitmap of the program's resources (an image of
// icon 120) as a PNG file, for the icons of the desktop entry. Run by the
// build; not installed.
#include <QImage>
#include <QString>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: orva-icon-export IMAGE.bmp OUT.png\n");
        return 2;
    }
    QImage image(QString::fromLocal8Bit(argv[1]), "BMP");
    if (image.isNull()) {
        std::fprintf(stderr, "orva-icon-export: %s: not a readable bitmap\n", argv[1]);
        return 1;
    }
    if (!image.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "orva-icon-export: %s: cannot be written\n", argv[2]);
        return 1;
    }
    return 0;
}
