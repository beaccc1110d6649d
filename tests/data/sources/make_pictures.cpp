// Draws the fixture pictures: make_pictures <out.jpg|png> <width> <height> <label> [transparent]
// Build: g++ -std=c++20 -fPIC make_pictures.cpp $(pkg-config --cflags --libs Qt6Gui) -o make_pictures
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QLinearGradient>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 5)
        return 2;
    const int w = atoi(argv[2]), h = atoi(argv[3]);
    const bool transparent = argc > 5;
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(transparent ? Qt::transparent : QColor(Qt::white));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    if (transparent) {
        p.setBrush(QColor(20, 120, 40));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QRect(w / 8, h / 8, w * 3 / 4, h * 3 / 4));
    } else {
        QLinearGradient g(0, 0, 0, h);
        g.setColorAt(0, QColor(10, 20, 90));
        g.setColorAt(1, QColor(120, 180, 230));
        p.fillRect(img.rect(), g);
        p.setPen(Qt::white);
        QFont f = p.font();
        f.setPixelSize(h / 10);
        p.setFont(f);
        p.drawText(img.rect(), Qt::AlignCenter | Qt::TextWordWrap, QString::fromUtf8(argv[4]));
    }
    p.end();
    return img.save(QString::fromLocal8Bit(argv[1]), nullptr, 85) ? 0 : 1;
}
