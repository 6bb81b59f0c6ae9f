// Draws the icons and pictures of the program with QPainter, so that every image in
// resources/images can be rebuilt from source; with --icons, the desktop icon in the sizes of
// the hicolor theme (the build does this for the installation).
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>
#include <QtMath>

#include <functional>

namespace {

const QColor kDeepBlue(18, 42, 78);
const QColor kTeal(0, 150, 160);
const QColor kAmber(250, 176, 40);

QImage blank(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// A stylised camera lens: the product mark used by the icon, the splash and the about box.
void drawLens(QPainter &p, const QPointF &centre, qreal radius)
{
    QRadialGradient body(centre, radius);
    body.setColorAt(0.0, QColor(70, 80, 96));
    body.setColorAt(1.0, QColor(20, 24, 30));
    p.setPen(QPen(QColor(200, 210, 220), radius * 0.06));
    p.setBrush(body);
    p.drawEllipse(centre, radius, radius);

    QRadialGradient glass(centre - QPointF(radius * 0.15, radius * 0.15), radius * 0.6);
    glass.setColorAt(0.0, QColor(120, 220, 230));
    glass.setColorAt(0.6, kTeal);
    glass.setColorAt(1.0, QColor(0, 60, 80));
    p.setPen(Qt::NoPen);
    p.setBrush(glass);
    p.drawEllipse(centre, radius * 0.58, radius * 0.58);

    p.setBrush(QColor(10, 20, 30));
    p.drawEllipse(centre, radius * 0.22, radius * 0.22);
    p.setBrush(QColor(255, 255, 255, 190));
    p.drawEllipse(centre + QPointF(-radius * 0.22, -radius * 0.25), radius * 0.12, radius * 0.09);
}

// Drawn on a 64-pixel grid, scaled to size.
QImage icon(int size = 64)
{
    QImage image = blank(size, size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    QLinearGradient bg(0, 0, 0, 64);
    bg.setColorAt(0, kTeal);
    bg.setColorAt(1, kDeepBlue);
    p.setPen(Qt::NoPen);
    p.setBrush(bg);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
    drawLens(p, QPointF(32, 33), 22);
    p.setBrush(kAmber);
    p.drawRoundedRect(QRectF(44, 7, 12, 7), 2, 2);
    return image;
}

QImage banner(int w, int h, bool withTitle)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient bg(0, 0, w, h);
    bg.setColorAt(0, kDeepBlue);
    bg.setColorAt(1, QColor(6, 16, 32));
    p.fillRect(image.rect(), bg);

    // Faint scan lines suggest a sensor read-out.
    p.setPen(QPen(QColor(255, 255, 255, 18), 1));
    for (int y = 0; y < h; y += 6)
        p.drawLine(0, y, w, y);

    QPainterPath wave;
    wave.moveTo(0, h * 0.8);
    for (int x = 0; x <= w; x += 4)
        wave.lineTo(x, h * 0.8 - qSin(x / 40.0) * h * 0.05 - x * 0.05);
    p.setPen(QPen(kTeal, 3));
    p.setBrush(Qt::NoBrush);
    p.drawPath(wave);

    const qreal r = h * 0.32;
    drawLens(p, QPointF(w - r - h * 0.15, h * 0.45), r);

    if (withTitle) {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(int(h * 0.2));
        font.setBold(true);
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QRectF(h * 0.12, h * 0.18, w, h * 0.3), Qt::AlignLeft | Qt::AlignVCenter,
            QStringLiteral("Marnifex"));
        font.setPixelSize(int(h * 0.07));
        font.setBold(false);
        p.setFont(font);
        p.setPen(kAmber);
        p.drawText(QRectF(h * 0.13, h * 0.45, w, h * 0.12), Qt::AlignLeft | Qt::AlignVCenter,
            QStringLiteral("Camera settings at your fingertips"));
    }
    return image;
}

QImage badge(const QColor &fill, const std::function<void(QPainter &)> &mark)
{
    QImage image = blank(16, 16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(fill.darker(140), 1));
    p.setBrush(fill);
    p.drawEllipse(QRectF(1, 1, 14, 14));
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    mark(p);
    return image;
}

// Straight alpha for the PNG file. Qt's own conversion rounds ties by way of approximate
// reciprocals whose results differ between processors; exact arithmetic with ties to even
// gives the same file everywhere.
QImage straightAlpha(const QImage &image)
{
    const QImage in = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage out(in.size(), QImage::Format_ARGB32);
    for (int y = 0; y < in.height(); ++y) {
        const auto *from = reinterpret_cast<const QRgb *>(in.constScanLine(y));
        auto *to = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < in.width(); ++x) {
            const int alpha = qAlpha(from[x]);
            const auto channel = [alpha](int premultiplied) {
                if (alpha == 0)
                    return 0;
                const int scaled = premultiplied * 255;
                const int quotient = scaled / alpha;
                const int twice = 2 * (scaled % alpha);
                return quotient + (twice > alpha || (twice == alpha && (quotient & 1)) ? 1 : 0);
            };
            to[x] = qRgba(
                channel(qRed(from[x])), channel(qGreen(from[x])), channel(qBlue(from[x])), alpha);
        }
    }
    return out;
}

} // namespace

int main(int argc, char *argv[])
{
    // It only paints into images: no screen is needed, and without one Qt would abort.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    QTextStream err(stderr);
    const bool icons = args.size() == 3 && args.at(1) == QLatin1String("--icons");
    if (args.size() != 2 && !icons) {
        err << "usage: mfximages <output folder>\n"
               "       mfximages --icons <folder>   (the program icon in hicolor theme sizes)\n";
        return 2;
    }
    const QDir out(args.last());
    if (!out.exists() && !QDir().mkpath(out.path())) {
        err << "cannot create " << out.path() << "\n";
        return 1;
    }
    if (icons) {
        for (const int size : { 16, 22, 24, 32, 48, 64, 128, 256 }) {
            const QString folder = QStringLiteral("%1x%1/apps").arg(size);
            const QString path = out.filePath(folder + QStringLiteral("/marnifex.png"));
            if (!out.mkpath(folder) || !straightAlpha(icon(size)).save(path, "PNG")) {
                err << "cannot write " << path << "\n";
                return 1;
            }
        }
        return 0;
    }

    const QList<QPair<QString, QImage>> images = {
        { QStringLiteral("icon.png"), icon() },
        { QStringLiteral("splash.png"), banner(555, 200, true) },
        { QStringLiteral("about.png"), banner(575, 300, false) },
        { QStringLiteral("tick.png"),
            badge(QColor(60, 170, 60),
                [](QPainter &p) {
                    p.drawPolyline(
                        QPolygonF({ QPointF(4.5, 8.5), QPointF(7, 11), QPointF(11.5, 5) }));
                }) },
        { QStringLiteral("error.png"),
            badge(QColor(210, 40, 30),
                [](QPainter &p) {
                    p.drawLine(QPointF(5, 5), QPointF(11, 11));
                    p.drawLine(QPointF(11, 5), QPointF(5, 11));
                }) },
        { QStringLiteral("add.png"),
            badge(QColor(40, 120, 200),
                [](QPainter &p) {
                    p.drawLine(QPointF(8, 4), QPointF(8, 12));
                    p.drawLine(QPointF(4, 8), QPointF(12, 8));
                }) },
        { QStringLiteral("delete.png"),
            badge(QColor(120, 120, 120),
                [](QPainter &p) { p.drawLine(QPointF(4, 8), QPointF(12, 8)); }) },
    };
    for (const auto &entry : images) {
        const QString path = out.filePath(entry.first);
        if (!straightAlpha(entry.second).save(path, "PNG")) {
            err << "cannot write " << path << "\n";
            return 1;
        }
    }
    return 0;
}
