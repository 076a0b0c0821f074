#include "app/view/pictures.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace tarn::view {
namespace {

// The classic 16-colour palette.
constexpr QRgb kBlack = 0xff000000, kMaroon = 0xff800000, kGreen = 0xff008000,
               kOlive = 0xff808000, kNavy = 0xff000080, kPurple = 0xff800080,
               kTeal = 0xff008080, kSilver = 0xffc0c0c0, kGrey = 0xff808080,
               kRed = 0xffff0000, kLime = 0xff00ff00, kYellow = 0xffffff00,
               kBlue = 0xff0000ff, kFuchsia = 0xffff00ff, kAqua = 0xff00ffff,
               kWhite = 0xffffffff;

QImage canvas(int width, int height, QRgb fill)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(fill);
    return image;
}

// Reduces a drawing to the 16 colours, without dithering.
QImage reduce(const QImage& image)
{
    return image.convertToFormat(QImage::Format_Indexed8, sixteenColours(),
                                 Qt::ThresholdDither | Qt::AvoidDither);
}

QFont pictureFont(int pixels, bool bold = false)
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

} // namespace

QList<QRgb> sixteenColours()
{
    return {kBlack, kMaroon, kGreen, kOlive, kNavy, kPurple, kTeal, kSilver,
            kGrey,  kRed,    kLime,  kYellow, kBlue, kFuchsia, kAqua, kWhite};
}

QImage iconImage(int size)
{
    QImage image = canvas(size, size, kSilver);
    QPainter p(&image);
    const double s = size / 16.0;
    auto r = [s](double x, double y, double w, double h) {
        return QRectF(x * s, y * s, w * s, h * s).toRect();
    };
    // Instrument case with a raised edge.
    p.fillRect(r(0, 2, 16, 12), QColor(kGrey));
    p.fillRect(r(0, 2, 15, 11), QColor(kSilver));
    // Display window with a green square wave.
    p.fillRect(r(1, 3, 10, 7), QColor(kBlack));
    p.setPen(QPen(QColor(kLime), size >= 32 ? 2 : 1));
    const QPointF wave[] = {{1.5, 8}, {3.5, 8}, {3.5, 5}, {6, 5}, {6, 8}, {8.5, 8}, {8.5, 5}, {10.5, 5}};
    QPolygon poly;
    for (const QPointF& pt : wave)
        poly << QPoint(int(pt.x() * s), int(pt.y() * s));
    p.drawPolyline(poly);
    // Two knobs and a red output terminal.
    p.fillRect(r(12, 4, 2, 2), QColor(kNavy));
    p.fillRect(r(12, 7, 2, 2), QColor(kNavy));
    p.fillRect(r(12, 10.5, 2, 2), QColor(kRed));
    p.fillRect(r(2, 11, 2, 1.5), QColor(kYellow));
    p.fillRect(r(5, 11, 2, 1.5), QColor(kYellow));
    p.fillRect(r(8, 11, 2, 1.5), QColor(kYellow));
    p.end();
    return reduce(image);
}

QImage arrowImage()
{
    constexpr int kWidth = 68, kHeight = 5;
    QImage image = canvas(kWidth, kHeight, kBlack);
    const int mid = kHeight / 2;
    for (int x = 0; x < kWidth; ++x)
        image.setPixel(x, mid, kLime);
    // Heads: 1, 3 and 5 pixels high at each end.
    for (int i = 0; i < 3; ++i)
        for (int y = mid - i; y <= mid + i; ++y) {
            image.setPixel(i, y, kLime);
            image.setPixel(kWidth - 1 - i, y, kLime);
        }
    return reduce(image);
}

QImage fastRiseImage()
{
    constexpr int kWidth = 184, kHeight = 148;
    QImage image = canvas(kWidth, kHeight, kBlack);
    QPainter p(&image);

    // Screen: 8 by 6 divisions of 20 pixels with a dotted graticule.
    const QRect screen(12, 10, 160, 120);
    p.setPen(QPen(QColor(kGrey), 1, Qt::DotLine));
    for (int x = screen.left(); x <= screen.right() + 1; x += 20)
        p.drawLine(x, screen.top(), x, screen.bottom());
    for (int y = screen.top(); y <= screen.bottom() + 1; y += 20)
        p.drawLine(screen.left(), y, screen.right(), y);
    p.setPen(QPen(QColor(kSilver), 1));
    p.drawRect(screen);

    // Levels: 0 % at y 110, 100 % at y 30; the marks at 10 % and 90 %.
    const int low = 110, high = 30;
    const int mark10 = low - (low - high) / 10;      // 102
    const int mark90 = high + (low - high) / 10;     // 38

    // The trace: flat low, a smooth rising edge, flat high with a slight overshoot.
    QPainterPath trace;
    trace.moveTo(screen.left() + 1, low);
    trace.lineTo(62, low);
    trace.cubicTo(74, low, 84, high + 4, 96, high - 3);
    trace.cubicTo(102, high - 5, 106, high, 112, high);
    trace.lineTo(screen.right() - 1, high);
    p.setPen(QPen(QColor(kLime), 2));
    p.drawPath(trace);

    // Where the trace crosses the marks (found on the path itself).
    auto crossing = [&](int y) {
        for (qreal t = 0; t <= 1.0; t += 0.0005) {
            const QPointF pt = trace.pointAtPercent(t);
            if (pt.y() <= y)
                return int(pt.x() + 0.5);
        }
        return screen.right();
    };
    const int x10 = crossing(mark10), x90 = crossing(mark90);

    // 10 % and 90 % lines across the screen, and the two crossing markers.
    p.setPen(QPen(QColor(kYellow), 1, Qt::DashLine));
    p.drawLine(screen.left() + 1, mark10, screen.right() - 1, mark10);
    p.drawLine(screen.left() + 1, mark90, screen.right() - 1, mark90);
    p.setPen(QPen(QColor(kAqua), 1));
    p.drawLine(x10, mark90 - 6, x10, mark10 + 10);
    p.drawLine(x90, mark90 - 6, x90, mark10 + 10);

    // The rise time between the markers: a double-headed arrow and "tr" above it.
    const int arrowY = mark10 + 8;
    p.drawLine(x10, arrowY, x90, arrowY);
    for (int i = 1; i <= 3; ++i) {
        p.drawLine(x10 + i, arrowY - i, x10 + i, arrowY + i);
        p.drawLine(x90 - i, arrowY - i, x90 - i, arrowY + i);
    }

    p.setFont(pictureFont(11, true));
    p.setPen(QColor(kWhite));
    p.drawText(QRect(screen.left() + 3, mark90 - 14, 40, 13), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("90%"));
    p.drawText(QRect(screen.left() + 3, mark10 - 14, 40, 13), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("10%"));
    p.setPen(QColor(kAqua));
    p.drawText(QRect(x90 + 5, arrowY - 8, 24, 15), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("tr"));

    // A caption strip below the screen.
    p.setFont(pictureFont(10));
    p.setPen(QColor(kSilver));
    p.drawText(QRect(0, screen.bottom() + 3, kWidth, kHeight - screen.bottom() - 3),
               Qt::AlignCenter, QStringLiteral("Rise time: 10% to 90%"));
    p.end();
    return reduce(image);
}

QIcon windowIcon()
{
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(iconImage(16)));
    icon.addPixmap(QPixmap::fromImage(iconImage(32)));
    return icon;
}

QImage pictureFor(const QString& controlName)
{
    if (controlName == QLatin1String("imgArrow"))
        return arrowImage();
    if (controlName == QLatin1String("imgFastRise"))
        return fastRiseImage();
    return {};
}

} // namespace tarn::view
