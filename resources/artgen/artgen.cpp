// Draws the client's own pictures: the logo strip, the title-bar and function-bar buttons, the
// play symbol's three states, the fallback thumbnail and the application icon. The results are kept in the repository;
// run the "art" target after changing this file.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <cstdio>
#include <functional>

namespace {
const QColor kBlue(0x14, 0x6F, 0xA4);
const QColor kOrange(0xF3, 0x98, 0x01);
const int kIconSizes[] = { 16, 22, 24, 32, 48, 64, 128, 256 };

QString g_outDir;

bool save(const QImage &image, const QString &name, const char *format = "PNG", int quality = -1)
{
    const QString path = g_outDir + QLatin1Char('/') + name;
    if (!image.save(path, format, quality)) {
        std::fprintf(stderr, "artgen: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

QImage canvas(int width, int height, const QColor &fill = Qt::transparent)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(fill);
    return image;
}

using Draw = std::function<void(QPainter &)>;

QImage drawn(int width, int height, const Draw &draw, const QColor &fill = Qt::transparent)
{
    QImage image = canvas(width, height, fill);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter);
    return image;
}

QFont cjkFont(int pixelSize, bool bold)
{
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

// The logo's emblem in a 48 x 48 square at `origin`: a rounded white square holding a blue play
// mark with an orange recording dot.
void emblem(QPainter &p, const QPointF &origin)
{
    p.save();
    p.translate(origin);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(0, 0, 48, 48), 10, 10);
    QPainterPath play;
    play.moveTo(16, 11);
    play.lineTo(16, 37);
    play.lineTo(37, 24);
    play.closeSubpath();
    p.setBrush(kBlue);
    p.drawPath(play);
    p.setBrush(kOrange);
    p.drawEllipse(QPointF(40, 8), 6, 6);
    p.restore();
}

// The application icon: the emblem on a blue rounded plate, drawn at `size` pixels.
QImage appIcon(int size)
{
    return drawn(size, size, [size](QPainter &p) {
        p.scale(size / 64.0, size / 64.0);
        p.setPen(Qt::NoPen);
        QLinearGradient shade(0, 0, 0, 64);
        shade.setColorAt(0, kBlue.lighter(112));
        shade.setColorAt(1, kBlue);
        p.setBrush(shade);
        p.drawRoundedRect(QRectF(1, 1, 62, 62), 12, 12);
        emblem(p, QPointF(8, 9));
    });
}

// The logo strip: blue band, a lens-and-reel emblem and the caption.
QImage logo()
{
    return drawn(972, 80, [](QPainter &p) {
        QLinearGradient shade(0, 0, 0, 80);
        shade.setColorAt(0, kBlue.lighter(112));
        shade.setColorAt(1, kBlue);
        p.fillRect(0, 0, 972, 80, shade);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 18));
        p.drawEllipse(QPointF(700, -160), 320, 320);
        p.drawEllipse(QPointF(860, 160), 180, 180);
        emblem(p, QPointF(22, 16));
        p.setPen(Qt::white);
        p.setFont(cjkFont(30, true));
        p.drawText(QRectF(84, 0, 400, 80), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Qurel助手"));
    });
}

// Title-bar buttons, 23 x 25: a white glyph, on a lighter (or red) plate under the mouse.
QImage titleButton(bool close, bool hot)
{
    return drawn(23, 25, [close, hot](QPainter &p) {
        if (hot) {
            p.setPen(Qt::NoPen);
            p.setBrush(close ? QColor(0xE0, 0x43, 0x43) : QColor(255, 255, 255, 60));
            p.drawRoundedRect(QRectF(0.5, 0.5, 22, 24), 3, 3);
        }
        p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
        if (close) {
            p.drawLine(QPointF(7, 8), QPointF(16, 17));
            p.drawLine(QPointF(16, 8), QPointF(7, 17));
        } else {
            p.drawLine(QPointF(6.5, 16), QPointF(16.5, 16));
        }
    });
}

// Function-bar glyphs, 20 x 20, white on the dark bar.
QImage glyph(const Draw &draw)
{
    return drawn(20, 20, [&draw](QPainter &p) {
        p.setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        draw(p);
    });
}

void functionGlyphs(bool &ok)
{
    ok &= save(glyph([](QPainter &p) { // head and tail slides: two stacked slides
        p.drawRect(QRectF(5.5, 3.5, 12, 9));
        p.setBrush(QColor(0x33, 0x33, 0x33));
        p.drawRect(QRectF(2.5, 7.5, 12, 9));
        p.setBrush(Qt::white);
        p.setPen(Qt::NoPen);
        QPainterPath mark;
        mark.moveTo(7, 9.5);
        mark.lineTo(7, 14.5);
        mark.lineTo(11, 12);
        p.drawPath(mark);
    }),
        QStringLiteral("btnHeadTail.png"));
    ok &= save(glyph([](QPainter &p) { // start recording: ring with a red dot
        p.drawEllipse(QRectF(2.5, 2.5, 15, 15));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xE8, 0x3B, 0x3B));
        p.drawEllipse(QRectF(6, 6, 8, 8));
    }),
        QStringLiteral("btnStartRec.png"));
    ok &= save(glyph([](QPainter &p) { // stop recording: ring with a square
        p.drawEllipse(QRectF(2.5, 2.5, 15, 15));
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(7, 7, 6, 6));
    }),
        QStringLiteral("btnEndRec.png"));
    ok &= save(glyph([](QPainter &p) { // upload: arrow into the cloud
        p.drawLine(QPointF(10, 16), QPointF(10, 4));
        p.drawLine(QPointF(5.5, 8.5), QPointF(10, 4));
        p.drawLine(QPointF(14.5, 8.5), QPointF(10, 4));
        p.drawLine(QPointF(3, 17.5), QPointF(17, 17.5));
    }),
        QStringLiteral("btnUpload.png"));
    ok &= save(glyph([](QPainter &p) { // save as: diskette
        p.drawRoundedRect(QRectF(3, 3, 14, 14), 1.5, 1.5);
        p.drawRect(QRectF(6.5, 3, 7, 4.5));
        p.drawRect(QRectF(6, 11, 8, 6));
    }),
        QStringLiteral("btnSaveAs.png"));
    ok &= save(glyph([](QPainter &p) { // delete: bin
        p.drawLine(QPointF(3.5, 5.5), QPointF(16.5, 5.5));
        p.drawLine(QPointF(8, 3), QPointF(12, 3));
        p.drawRoundedRect(QRectF(5, 5.5, 10, 12), 1.5, 1.5);
        p.drawLine(QPointF(8.5, 8.5), QPointF(8.5, 14.5));
        p.drawLine(QPointF(11.5, 8.5), QPointF(11.5, 14.5));
    }),
        QStringLiteral("btnDel.png"));
    ok &= save(glyph([](QPainter &p) { // settings: gear
        const QPointF c(10, 10);
        for (int i = 0; i < 8; ++i) {
            const double a = i * M_PI / 4;
            p.drawLine(c + QPointF(5.2 * std::cos(a), 5.2 * std::sin(a)),
                c + QPointF(8 * std::cos(a), 8 * std::sin(a)));
        }
        p.drawEllipse(c, 5.2, 5.2);
        p.drawEllipse(c, 2.2, 2.2);
    }),
        QStringLiteral("btnSetting.png"));
}

// The play symbol over the preview, 110 x 111, in its normal, hot and pressed states.
QImage playSymbol(const QColor &ring, const QColor &fill, const QColor &mark, double grow)
{
    return drawn(110, 111, [&](QPainter &p) {
        const QPointF c(55, 55.5);
        const double r = 44 + grow;
        p.setPen(QPen(ring, 4));
        p.setBrush(fill);
        p.drawEllipse(c, r, r);
        QPainterPath triangle;
        triangle.moveTo(c + QPointF(-14, -22));
        triangle.lineTo(c + QPointF(-14, 22));
        triangle.lineTo(c + QPointF(24, 0));
        triangle.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(mark);
        p.drawPath(triangle);
    });
}

// Thumbnail of a recording whose own picture could not be made: a dark frame with a film glyph.
QImage withoutPicture()
{
    return drawn(
        720, 405,
        [](QPainter &p) {
            QLinearGradient shade(0, 0, 0, 405);
            shade.setColorAt(0, QColor(0x3A, 0x3F, 0x45));
            shade.setColorAt(1, QColor(0x22, 0x25, 0x29));
            p.fillRect(0, 0, 720, 405, shade);
            p.setPen(QPen(QColor(0x9A, 0xA4, 0xAE), 8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.setBrush(Qt::NoBrush);
            p.drawRoundedRect(QRectF(250, 132, 160, 140), 14, 14);
            QPainterPath lens;
            lens.moveTo(410, 182);
            lens.lineTo(470, 150);
            lens.lineTo(470, 254);
            lens.lineTo(410, 222);
            p.drawPath(lens);
            p.drawLine(QPointF(230, 300), QPointF(490, 105));
        },
        Qt::black);
}
} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: qurel-artgen SKIN_DIR FILES_DIR ICONS_DIR\n");
        return 2;
    }
    bool ok = true;
    g_outDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(g_outDir);
    ok &= save(logo(), QStringLiteral("logo.png"));
    ok &= save(titleButton(false, false), QStringLiteral("btnMin.png"));
    ok &= save(titleButton(false, true), QStringLiteral("btnMin_hot.png"));
    ok &= save(titleButton(true, false), QStringLiteral("btnClose.png"));
    ok &= save(titleButton(true, true), QStringLiteral("btnClose_hot.png"));
    functionGlyphs(ok);

    g_outDir = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(g_outDir);
    ok &= save(playSymbol(QColor(255, 255, 255, 210), QColor(0, 0, 0, 90), QColor(255, 255, 255, 230), 0),
        QStringLiteral("play.png"));
    ok &= save(playSymbol(kOrange, QColor(0, 0, 0, 110), kOrange, 2), QStringLiteral("mouseEnter.png"));
    ok &= save(playSymbol(kOrange.darker(130), QColor(0, 0, 0, 150), kOrange.darker(130), 0),
        QStringLiteral("mouseDown.png"));
    ok &= save(withoutPicture(), QStringLiteral("WithoutPic.jpg"), "JPG", 90);

    // The icon theme's sizes: ICONS_DIR/hicolor/<n>x<n>/apps/qurel.png.
    for (const int size : kIconSizes) {
        g_outDir = QStringLiteral("%1/hicolor/%2x%2/apps").arg(QString::fromLocal8Bit(argv[3])).arg(size);
        QDir().mkpath(g_outDir);
        ok &= save(appIcon(size), QStringLiteral("qurel.png"));
    }
    return ok ? 0 : 1;
}
