#pragma once
// The window's pictures, drawn in code in the 16 colours of the classic
// display palette: the window icon, the period marker of the display and
// the rise-time measurement sketch of the fast-rise panel. The marker and
// the sketch are drawings, made on the device itself at its pixel ratio.

#include <QIcon>
#include <QImage>
#include <QString>
#include <QWidget>

class QPainter;

namespace tarn::view {

// The 16-colour palette every picture is reduced to.
QList<QRgb> sixteenColours();

QImage iconImage(int size);     // 16 or 32: a small calibrator front panel
QIcon windowIcon();

// The picture of an image control, in its own logical pixels: "imgArrow"
// 68 x 5, a green double-headed horizontal arrow; "imgFastRise" 184 x 148,
// a rising edge with its 10 % and 90 % marks. Other names have none
// (empty size, nothing painted, false).
QSize pictureSize(const QString& controlName);
bool paintPicture(QPainter& painter, const QString& controlName);
// The picture drawn at a device pixel ratio.
QImage renderPicture(const QString& controlName, qreal devicePixelRatio);

// An image control on screen.
class PictureWidget : public QWidget {
public:
    PictureWidget(const QString& controlName, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString name_;
};

} // namespace tarn::view
