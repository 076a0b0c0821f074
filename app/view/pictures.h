#pragma once
// The window's pictures, drawn in code in the 16 colours of the classic
// display palette: the window icon, the period marker of the display and
// the rise-time measurement sketch of the fast-rise panel.

#include <QIcon>
#include <QImage>
#include <QString>

namespace tarn::view {

// The 16-colour palette every picture is reduced to.
QList<QRgb> sixteenColours();

QImage iconImage(int size);     // 16 or 32: a small calibrator front panel
QImage arrowImage();            // 68 x 5: green double-headed horizontal arrow
QImage fastRiseImage();         // 184 x 148: a rising edge with its 10 % and 90 % marks

QIcon windowIcon();

// The picture of an image control by its name; a null image when it has none.
QImage pictureFor(const QString& controlName);

} // namespace tarn::view
