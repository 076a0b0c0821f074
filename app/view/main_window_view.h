#pragma once
// The main window on screen: one widget per control of the core's control
// model, mirrored from the model by sync() and forwarding the operator's
// actions to the model's operator entry points.

#include "app/form.h"

#include <QAbstractNativeEventFilter>
#include <QColor>
#include <QFont>
#include <QWidget>

#include <vector>

class QKeyEvent;
class QTimer;

namespace tarn {

class MainWindow;

namespace view {

// Twips to logical pixels (15 twips a pixel), rounded.
int toPixels(double twips);
// A font of the model at a fixed pixel size (points at 96 dots per inch),
// so that the layout does not depend on the screen's resolution.
QFont toQFont(const Font& font);
// A model colour; the system colours come from the application palette.
QColor toQColor(const Color& color);

// Paints the lines and shapes that belong to container `id`, in model order.
void paintDrawnControls(QPainter& painter, const FormModel& form, int id);

} // namespace view

class MainWindowView : public QWidget, public QAbstractNativeEventFilter {
    Q_OBJECT

public:
    explicit MainWindowView(MainWindow& core, QWidget* parent = nullptr);
    ~MainWindowView() override;

    // Mirrors the control model into the widgets. Cheap when nothing changed.
    void sync();

    // The widget built for a control id, or null (lines, shapes, timer).
    QWidget* widgetFor(int id) const;
    QTimer* timerFor(int id) const;

    // Watches for the window system destroying the window (X11).
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

signals:
    // The window has closed, its output switched off: the program ends.
    void closed();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    struct Slot;

    void build();
    void addWindowActions();
    // A key pressed in the window; true when the window's keys took it.
    bool keyPressed(QObject* watched, QKeyEvent* key);
    void buildControl(int id);
    void syncControl(int id, bool first);
    void forwarded();
    void deliverPendingMouseUps();
    bool isOwnWidget(QObject* object) const;
    void windowDestroyed();
    // The operator's input is acted on: the model's window is enabled and
    // the view has let go of what came while it was not.
    bool takesInput() const { return windowEnabled_ && form_.window().enabled; }

    MainWindow& core_;
    FormModel& form_;
    std::vector<Slot> slots_;
    std::vector<int> pendingMouseUps_;  // releases that arrived while busy
    int focusRequestsSeen_ = 0;
    bool synced_ = false;
    bool activating_ = false;
    bool windowEnabled_ = true;
    bool reopening_ = false;
};

} // namespace tarn
