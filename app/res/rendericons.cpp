// Build-time tool: renders the program's SVG drawings into the PNG files
// that the resource file compiles into recdeck.
//
//   rendericons <size> <input.svg> <output.png> [<size> <input.svg> <output.png> ...]
//
// Each drawing is scaled to a square of <size> pixels on a transparent
// background. Exits 1 with a message on stderr when a drawing cannot be read
// or an image cannot be written.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 4 || (argc - 1) % 3 != 0) {
        std::fprintf(stderr, "usage: %s <size> <input.svg> <output.png> ...\n", argv[0]);
        return 1;
    }
    for (int i = 1; i + 2 < argc; i += 3) {
        const int size = QByteArray(argv[i]).toInt();
        QSvgRenderer renderer(QString::fromLocal8Bit(argv[i + 1]));
        if (size <= 0 || !renderer.isValid()) {
            std::fprintf(stderr, "rendericons: cannot render %s at size %s\n", argv[i + 1], argv[i]);
            return 1;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        painter.end();
        if (!image.save(QString::fromLocal8Bit(argv[i + 2]), "PNG")) {
            std::fprintf(stderr, "rendericons: cannot write %s\n", argv[i + 2]);
            return 1;
        }
    }
    return 0;
}
