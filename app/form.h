#pragma once
// The plain model of the main window's controls.
//
// Every control of the window (frames, labels, buttons, lists, lines, the
// timer, ...) is one Control record in a FormModel. The panel handlers read
// and write these records directly; the Qt Widgets view builds one widget per
// control from them and mirrors their properties after each event. Operator
// actions reach the handlers through the FormModel's operator* entry points,
// so the behaviour can be driven headless by tests.

#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace tarn {

inline constexpr int kNoIndex = -1;

enum class Kind {
    Window,        // frmMain itself
    Frame,         // container, optional caption
    OptionButton,  // graphical style: a push button that stays pressed while selected
    Label,
    TextBox,
    ListBox,       // always-open list, rows with caption and item value
    DropDownList,  // closed list; text only chosen from the rows
    Image,
    Line,
    Shape,         // rectangle outline with border and fill
    Timer,
    CommandButton, // the latching-capable push button
    SerialPort,    // invisible serial communications control
};

enum class Alignment { Left, Right, Center };

// A colour as red, green, blue. System colours (button face, window text)
// carry their role so that the view can take them from the platform.
struct Color {
    enum class Role : std::uint8_t { Plain, ButtonFace, WindowText };
    std::uint8_t r = 0, g = 0, b = 0;
    Role role = Role::Plain;

    friend bool operator==(const Color&, const Color&) = default;
};

namespace colors {
inline constexpr Color black{0, 0, 0};
inline constexpr Color red{255, 0, 0};
inline constexpr Color green{0, 255, 0};
inline constexpr Color blue{0, 0, 255};
inline constexpr Color darkBlue{0, 0, 192};
inline constexpr Color yellow{255, 255, 0};
inline constexpr Color magenta{255, 0, 255};
inline constexpr Color grey{128, 128, 128};
inline constexpr Color lightGrey{224, 224, 224};
inline constexpr Color buttonFace{240, 240, 240, Color::Role::ButtonFace};
inline constexpr Color windowText{0, 0, 0, Color::Role::WindowText};
} // namespace colors

struct Font {
    QString family = QStringLiteral("Arial");
    double points = 8.25;
    bool bold = true;
    bool italic = false;

    friend bool operator==(const Font&, const Font&) = default;
};

struct ListRow {
    QString caption;
    std::int32_t itemData = 0;
};

enum class LineStyle { Solid, Dash, Dot };

// End points of a line element, in twips of its container (single precision).
struct LinePoints {
    float x1 = 0, y1 = 0, x2 = 0, y2 = 0;

    friend bool operator==(const LinePoints&, const LinePoints&) = default;
};

struct Control {
    // Identity and design; never change after the layout is built.
    QString name;
    int index = kNoIndex;  // index in its indexed group, kNoIndex when not in a group
    Kind kind = Kind::Label;
    int parent = -1;       // id of the container, -1 for the window itself

    // Position and size in twips, relative to the container's client area.
    int left = 0, top = 0, width = 0, height = 0;

    // Run-time properties.
    QString caption;       // caption, label text, text-box text, window title
    QString toolTip;
    bool visible = true;
    bool enabled = true;
    Color fore = colors::windowText;
    Color back = colors::buttonFace;
    bool transparent = false;    // labels: no background of their own
    Font font;
    Alignment alignment = Alignment::Left;

    bool value = false;          // option buttons: selected

    std::vector<ListRow> rows;   // list boxes and drop-down lists
    int listIndex = -1;          // selected row, -1 for none

    bool latching = false;       // command buttons used as toggles
    int latchValue = 1;          // 0 latched (on), 1 released (off)

    LinePoints line;             // lines
    int lineWidth = 1;           // lines and shapes: pixels
    LineStyle lineStyle = LineStyle::Solid;
    bool notXorPen = false;      // lines drawn in the not-xor pen mode

    int interval = 0;            // timers: milliseconds; enabled says whether it runs

    // Text of the selected row of a list, or empty.
    QString listText() const;
};

// The controls of one window, in creation order (which is also the
// stacking order among siblings: later controls lie on top).
class FormModel {
public:
    using IndexHandler = std::function<void(int index)>;
    using MouseHandler = std::function<void(int index, int button)>;

    // Adds a control and returns its id. The first control added is the window.
    int add(Control control);

    Control& window();
    const Control& window() const;

    // The control with that name and index; throws std::out_of_range when absent.
    Control& operator()(const QString& name, int index = kNoIndex);
    const Control& operator()(const QString& name, int index = kNoIndex) const;
    Control* find(const QString& name, int index = kNoIndex);
    const Control* find(const QString& name, int index = kNoIndex) const;
    int idOf(const QString& name, int index = kNoIndex) const;  // -1 when absent

    Control& at(int id) { return controls_.at(static_cast<size_t>(id)); }
    const Control& at(int id) const { return controls_.at(static_cast<size_t>(id)); }
    int size() const { return static_cast<int>(controls_.size()); }
    const std::vector<Control>& controls() const { return controls_; }
    std::vector<int> children(int id) const;
    // Members of an indexed group, ordered by index.
    std::vector<int> group(const QString& name) const;

    // "name" or "name(index)": the control's object name in the view.
    static QString key(const QString& name, int index);
    static QString key(const Control& c) { return key(c.name, c.index); }

    // Whether the control and all its containers are visible.
    bool shown(int id) const;

    // --- Handlers, registered by the panels -------------------------------
    void onClick(const QString& name, IndexHandler handler);
    void onMouseDown(const QString& name, MouseHandler handler);
    void onMouseUp(const QString& name, IndexHandler handler);
    void onTimer(const QString& name, std::function<void()> handler);
    void onChange(const QString& name, IndexHandler handler);  // text boxes

    // --- Changes made by the program -----------------------------------
    // Selects an option button; the other option buttons of its container are
    // deselected. Raises the click action when the option was not selected.
    void setOptionValue(const QString& name, int index, bool value);
    // Selects a row of a list box (raising its click action when the row
    // changes) or of a drop-down list (no action).
    void setListIndex(const QString& name, int index, int row);
    // Sets a command button's latch value; raises no notification.
    void setLatchValue(const QString& name, int index, int latch);
    // Runs a control's click action explicitly, as the program does after
    // setting a value, whether or not setting it raised the action already.
    void runClick(const QString& name, int index = kNoIndex) { raiseClick(name, index); }
    // Input focus; the view moves the keyboard focus accordingly.
    void setFocus(const QString& name, int index = kNoIndex);
    int focus() const { return focus_; }
    // Counts focus requests, so that a request for the control that already
    // has the focus is seen too.
    int focusRequests() const { return focusRequests_; }

    // --- Operator actions, forwarded by the view --------------------------
    // Whether the control takes the operator's input now: it and its
    // containers are visible and enabled.
    bool acceptsInput(const QString& name, int index = kNoIndex) const;
    // A click on a button: an option button becomes selected (others of its
    // container deselected), a latching command button flips its latch
    // value; then the click action runs.
    void operatorClick(const QString& name, int index = kNoIndex);
    void operatorMouseDown(const QString& name, int index, int button);
    void operatorMouseUp(const QString& name, int index);
    // A row chosen in a list box or drop-down list.
    void operatorSelectRow(const QString& name, int index, int row);
    // Text typed into a text box.
    void operatorEditText(const QString& name, int index, const QString& text);
    // One tick of a timer; ignored while the timer is disabled.
    void timerTick(const QString& name);

private:
    void raiseClick(const QString& name, int index);
    bool enabledForInput(const Control& c) const;

    std::vector<Control> controls_;
    std::map<std::pair<QString, int>, int> byKey_;
    std::map<QString, IndexHandler> click_;
    std::map<QString, MouseHandler> mouseDown_;
    std::map<QString, IndexHandler> mouseUp_;
    std::map<QString, std::function<void()>> timer_;
    std::map<QString, IndexHandler> change_;
    int focus_ = -1;
    int focusRequests_ = 0;
};

// Builds the main window's controls, exactly as designed, into an empty model.
void BuildLayout(FormModel& form);

} // namespace tarn
