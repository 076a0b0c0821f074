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

void paintArrow(QPainter& p)
{
    // 68 by 5: a shaft along the middle and a head at each end, 5 high.
    constexpr qreal kWidth = 68, kHeight = 5, kMid = kHeight / 2, kHead = 3;
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(QRectF(0, 0, kWidth, kHeight), QColor(kBlack));
    p.fillRect(QRectF(0, kMid - 0.5, kWidth, 1), QColor(kLime));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(kLime));
    p.drawPolygon(QPolygonF({{0, kMid}, {kHead, 0}, {kHead, kHeight}}));
    p.drawPolygon(QPolygonF({{kWidth, kMid}, {kWidth - kHead, 0}, {kWidth - kHead, kHeight}}));
    p.restore();
}

void paintFastRise(QPainter& p)
{
    constexpr qreal kWidth = 184, kHeight = 148;
    p.save();
    p.fillRect(QRectF(0, 0, kWidth, kHeight), QColor(kBlack));

    // Screen: 8 by 6 divisions of 20 with a dotted graticule.
    const QRectF screen(12.5, 10.5, 160, 120);
    p.setRenderHint(QPainter::Antialiasing, true);
    QPen grid(QColor(kGrey), 1, Qt::DotLine);
    grid.setCosmetic(false);
    p.setPen(grid);
    for (qreal x = screen.left() + 20; x < screen.right(); x += 20)
        p.drawLine(QLineF(x, screen.top(), x, screen.bottom()));
    for (qreal y = screen.top() + 20; y < screen.bottom(); y += 20)
        p.drawLine(QLineF(screen.left(), y, screen.right(), y));
    p.setPen(QPen(QColor(kSilver), 1));
    p.drawRect(screen);

    // Levels: 0 % at 110, 100 % at 30; the marks at 10 % and 90 %.
    constexpr qreal low = 110, high = 30;
    constexpr qreal mark10 = low - (low - high) / 10;   // 102
    constexpr qreal mark90 = high + (low - high) / 10;  // 38

    // The trace: flat low, a smooth rising edge, flat high after a slight overshoot.
    QPainterPath trace;
    trace.moveTo(screen.left() + 1, low);
    trace.lineTo(62, low);
    trace.cubicTo(74, low, 84, high + 4, 96, high - 3);
    trace.cubicTo(102, high - 5, 106, high, 112, high);
    trace.lineTo(screen.right() - 1, high);
    p.setPen(QPen(QColor(kLime), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(trace);

    // Where the trace crosses the marks, found on the path itself.
    auto crossing = [&](qreal y) {
        for (qreal t = 0; t <= 1.0; t += 0.0005) {
            const QPointF pt = trace.pointAtPercent(t);
            if (pt.y() <= y)
                return pt.x();
        }
        return screen.right();
    };
    const qreal x10 = crossing(mark10), x90 = crossing(mark90);

    // 10 % and 90 % lines across the screen, and the two crossing markers.
    p.setPen(QPen(QColor(kYellow), 1, Qt::DashLine));
    p.drawLine(QLineF(screen.left() + 1, mark10, screen.right() - 1, mark10));
    p.drawLine(QLineF(screen.left() + 1, mark90, screen.right() - 1, mark90));
    p.setPen(QPen(QColor(kAqua), 1));
    p.drawLine(QLineF(x10, mark90 - 6, x10, mark10 + 10));
    p.drawLine(QLineF(x90, mark90 - 6, x90, mark10 + 10));

    // The rise time between the markers: a double-headed arrow and "tr" beside it.
    const qreal arrowY = mark10 + 8;
    p.drawLine(QLineF(x10, arrowY, x90, arrowY));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(kAqua));
    p.drawPolygon(QPolygonF({{x10, arrowY}, {x10 + 4, arrowY - 3}, {x10 + 4, arrowY + 3}}));
    p.drawPolygon(QPolygonF({{x90, arrowY}, {x90 - 4, arrowY - 3}, {x90 - 4, arrowY + 3}}));

    p.setFont(pictureFont(11, true));
    p.setPen(QColor(kWhite));
    p.drawText(QRectF(screen.left() + 3, mark90 - 14, 40, 13), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("90%"));
    p.drawText(QRectF(screen.left() + 3, mark10 - 14, 40, 13), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("10%"));
    p.setPen(QColor(kAqua));
    p.drawText(QRectF(x90 + 5, arrowY - 8, 24, 15), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("tr"));

    // A caption strip below the screen.
    p.setFont(pictureFont(10));
    p.setPen(QColor(kSilver));
    p.drawText(QRectF(0, screen.bottom() + 3, kWidth, kHeight - screen.bottom() - 3), Qt::AlignCenter,
               QStringLiteral("Rise time: 10% to 90%"));
    p.restore();
}

QSize pictureSize(const QString& controlName)
{
    if (controlName == QLatin1String("imgArrow"))
        return {68, 5};
    if (controlName == QLatin1String("imgFastRise"))
        return {184, 148};
    return {};
}

bool paintPicture(QPainter& painter, const QString& controlName)
{
    if (controlName == QLatin1String("imgArrow"))
        paintArrow(painter);
    else if (controlName == QLatin1String("imgFastRise"))
        paintFastRise(painter);
    else
        return false;
    return true;
}

QImage renderPicture(const QString& controlName, qreal devicePixelRatio)
{
    const QSize size = pictureSize(controlName);
    if (size.isEmpty())
        return {};
    QImage image((QSizeF(size) * devicePixelRatio).toSize(), QImage::Format_RGB32);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::black);
    QPainter p(&image);
    paintPicture(p, controlName);
    p.end();
    return image;
}

PictureWidget::PictureWidget(const QString& controlName, QWidget* parent)
    : QWidget(parent), name_(controlName)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureWidget::paintEvent(QPaintEvent*)
{
    // Drawn afresh on the device, so it is sharp at every scale factor.
    QPainter p(this);
    p.setClipRect(rect());
    paintPicture(p, name_);
}

QIcon windowIcon()
{
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(iconImage(16)));
    icon.addPixmap(QPixmap::fromImage(iconImage(32)));
    return icon;
}

} // namespace tarn::view
