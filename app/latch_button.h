#pragma once
// The push buttons of the main window: CaptionButton for the option
// buttons, LatchButton for every command button.
//
// It can latch: a latching button keeps a LatchValue (0 latched, function
// on; 1 released, function off) that an operator click flips before the
// clicked signal goes out, so a click handler reads the new state. Setting
// the value from code raises nothing. Besides clicked, the button reports
// the press of any mouse button (mouseDown, with 1 left, 2 right, 4 middle)
// and the release (mouseUp); the release arrives before clicked.

#include <QColor>
#include <QFont>
#include <QPushButton>

// A push button whose caption is broken into lines where it is wider than
// the face (see wrapCaption). The breaks are a matter of drawing only: text()
// stays the caption exactly as it was set.
class CaptionButton : public QPushButton {
    Q_OBJECT

public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent* event) override;
};

class LatchButton : public CaptionButton {
    Q_OBJECT
    Q_PROPERTY(int LatchValue READ latchValue WRITE setLatchValue)

public:
    explicit LatchButton(QWidget* parent = nullptr);

    int latchValue() const { return latchValue_; }
    // Sets the latch from code; no notification.
    void setLatchValue(int value);

    bool isLatching() const { return latching_; }
    void setLatching(bool latching);

    // Text and face colours; a latched button is drawn pressed in.
    void setColors(const QColor& fore, const QColor& back);
    QColor foreColor() const { return fore_; }
    QColor backColor() const { return back_; }

signals:
    void mouseDown(int button);
    void mouseUp();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void nextCheckState() override;

private:
    void applyStyle();

    int latchValue_ = 1;
    bool latching_ = false;
    QColor fore_{Qt::black};
    QColor back_{240, 240, 240};
};

// A style sheet that draws a QPushButton as a raised 3D button in the given
// colours, pressed in while it is down or checked, or always when sunken.
QString buttonStyleSheet(const QColor& fore, const QColor& back, bool sunken = false);

// A caption broken into lines at spaces so that each line fits the width
// (in pixels) in that font, as the window's buttons show long captions. A
// word longer than the width stays whole on its line.
QString wrapCaption(const QString& caption, const QFont& font, int width);

// The mouse button as the click notifications number it: 1 left, 2 right,
// 4 middle, 0 for any other.
int mouseButtonCode(Qt::MouseButton button);
