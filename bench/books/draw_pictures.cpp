// Draws textured test pictures: draw_pictures <list-file>, one "<out.jpg|png|gif> <width> <height> <label>" a line.
// Build: g++ -std=c++20 -fPIC draw_pictures.cpp $(pkg-config --cflags --libs Qt6Gui) -o draw_pictures
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRandomGenerator>
#include <QTextStream>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QFile list(QString::fromLocal8Bit(argv[1]));
    if (argc < 2 || !list.open(QIODevice::ReadOnly))
        return 2;
    QRandomGenerator rng(11);
    QTextStream in(&list);
    while (!in.atEnd()) {
        const QStringList f = in.readLine().split(' ');
        if (f.size() < 4)
            continue;
        const int w = f[1].toInt(), h = f[2].toInt();
        QImage img(w, h, QImage::Format_RGB32);
        QPainter p(&img);
        QLinearGradient g(0, 0, w, h);
        g.setColorAt(0, QColor::fromHsv(rng.bounded(360), 160, 120));
        g.setColorAt(1, QColor::fromHsv(rng.bounded(360), 90, 230));
        p.fillRect(img.rect(), g);
        // Texture, so that the JPEG files are as large as photographs.
        for (int i = 0; i < w * h / 300; ++i) {
            p.setPen(QColor::fromRgb(rng.generate() & 0xFFFFFF));
            const int x = rng.bounded(w), y = rng.bounded(h);
            p.drawLine(x, y, x + rng.bounded(7) - 3, y + rng.bounded(7) - 3);
        }
        p.setPen(Qt::white);
        QFont font = p.font();
        font.setPixelSize(std::max(6, h / 12));
        p.setFont(font);
        p.drawText(img.rect(), Qt::AlignCenter | Qt::TextWordWrap, f.mid(3).join(' '));
        p.end();
        if (!img.save(f[0], nullptr, 88))
            return 1;
    }
    return 0;
}
