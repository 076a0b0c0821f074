#include "app/latch_button.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QStyleOptionButton>
#include <QStylePainter>

void CaptionButton::paintEvent(QPaintEvent*)
{
    // As the base class paints, with the caption broken to fit the face
    // inside its borders and margins.
    constexpr int kBordersAndMargins = 4;
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text = wrapCaption(text(), font(), width() - kBordersAndMargins);
    painter.drawControl(QStyle::CE_PushButton, option);
}

LatchButton::LatchButton(QWidget* parent) : CaptionButton(parent)
{
    setAutoDefault(false);
    applyStyle();
}

void LatchButton::setLatchValue(int value)
{
    if (latchValue_ == value)
        return;
    latchValue_ = value;
    applyStyle();
}

void LatchButton::setLatching(bool latching)
{
    if (latching_ == latching)
        return;
    latching_ = latching;
    applyStyle();
}

void LatchButton::setColors(const QColor& fore, const QColor& back)
{
    if (fore_ == fore && back_ == back)
        return;
    fore_ = fore;
    back_ = back;
    applyStyle();
}

void LatchButton::applyStyle()
{
    setStyleSheet(buttonStyleSheet(fore_, back_, latching_ && latchValue_ == 0));
}

void LatchButton::mousePressEvent(QMouseEvent* event)
{
    CaptionButton::mousePressEvent(event);
    emit mouseDown(mouseButtonCode(event->button()));
}

void LatchButton::mouseReleaseEvent(QMouseEvent* event)
{
    // The release is reported first; the base class then completes the
    // click (latch flip, clicked).
    emit mouseUp();
    CaptionButton::mouseReleaseEvent(event);
}

void LatchButton::nextCheckState()
{
    // Runs for every completed click, just before clicked is emitted.
    CaptionButton::nextCheckState();
    if (latching_)
        setLatchValue(latchValue_ == 0 ? 1 : 0);
}

QString buttonStyleSheet(const QColor& fore, const QColor& back, bool sunken)
{
    const QString light = QStringLiteral("#ffffff");
    const QString dark = QStringLiteral("#404040");
    const auto face = [&](const QString& topLeft, const QString& bottomRight, int shift) {
        return QStringLiteral("color: %1; background-color: %2; border-style: solid; "
                              "border-width: 2px; border-top-color: %3; border-left-color: %3; "
                              "border-bottom-color: %4; border-right-color: %4; "
                              "padding-left: %5px; padding-top: %5px; padding-right: 0px; "
                              "padding-bottom: 0px;")
            .arg(fore.name(), back.name(), topLeft, bottomRight)
            .arg(shift);
    };
    const QString up = face(light, dark, 0);
    const QString down = face(QStringLiteral("#000000"), light, 2);
    return QStringLiteral("QPushButton { %1 } QPushButton:pressed, QPushButton:checked { %2 } "
                          "QPushButton:disabled { color: #808080; }")
        .arg(sunken ? down : up, down);
}

int mouseButtonCode(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton: return 1;
    case Qt::RightButton: return 2;
    case Qt::MiddleButton: return 4;
    default: return 0;
    }
}

QString wrapCaption(const QString& caption, const QFont& font, int width)
{
    const QFontMetrics metrics(font);
    if (caption.contains(QLatin1Char('\n')) || metrics.horizontalAdvance(caption) <= width)
        return caption;
    QStringList lines;
    QString line;
    int i = 0;
    while (i < caption.size()) {
        // The spaces before the next word, then the word.
        int j = i;
        while (j < caption.size() && caption[j] == QLatin1Char(' '))
            ++j;
        int k = j;
        while (k < caption.size() && caption[k] != QLatin1Char(' '))
            ++k;
        const QString spaces = caption.mid(i, j - i);
        const QString word = caption.mid(j, k - j);
        if (!line.trimmed().isEmpty() && metrics.horizontalAdvance(line + spaces + word) > width) {
            lines << line;
            line = word;  // the spaces at a break are dropped
        } else {
            line += spaces + word;
        }
        i = k;
    }
    lines << line;
    return lines.join(QLatin1Char('\n'));
}
