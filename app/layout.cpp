// The main window's control tree, as designed.
//
// Controls are added container first, then its contents; among the children
// of one container the order of addition is the stacking order (later on
// top). Positions and sizes are twips relative to the container's client
// area. The helpers below keep each control on one line so that the data
// reads like the window's design tables.

#include "amplitude/amplitude_panel.h"
#include "app/form.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace tarn {
namespace {

struct Rect {
    int left = 0, top = 0, width = 0, height = 0;
};

QString text(const char* utf8) { return QString::fromUtf8(utf8); }

Font arial(double points) { return Font{QStringLiteral("Arial"), points, true, false}; }
Font arialRegular(double points) { return Font{QStringLiteral("Arial"), points, false, false}; }
Font courier(double points) { return Font{QStringLiteral("Courier New"), points, true, false}; }

// Text boxes have a white entry field.
constexpr Color kEntryBack{255, 255, 255};

// A control of the given kind at a place in its container.
Control place(Kind kind, int parent, const char* name, int index, Rect r)
{
    Control c;
    c.kind = kind;
    c.parent = parent;
    c.name = text(name);
    c.index = index;
    c.left = r.left;
    c.top = r.top;
    c.width = r.width;
    c.height = r.height;
    return c;
}

int addFrame(FormModel& form, int parent, const char* name, int index, Rect r,
             const char* caption, Font font, Color fore, Color back)
{
    Control c = place(Kind::Frame, parent, name, index, r);
    c.caption = text(caption);
    c.font = font;
    c.fore = fore;
    c.back = back;
    return form.add(std::move(c));
}

int addButton(FormModel& form, int parent, const char* name, int index, Rect r,
              const char* caption, Font font, Color fore, Color back)
{
    Control c = place(Kind::CommandButton, parent, name, index, r);
    c.caption = text(caption);
    c.font = font;
    c.fore = fore;
    c.back = back;
    return form.add(std::move(c));
}

// A toggle button: starts released (latch value 1).
int addLatchingButton(FormModel& form, int parent, const char* name, Rect r,
                      const char* caption, Font font, Color fore, Color back)
{
    const int id = addButton(form, parent, name, kNoIndex, r, caption, font, fore, back);
    form.at(id).latching = true;
    form.at(id).latchValue = 1;
    return id;
}

// Option buttons start deselected.
int addOption(FormModel& form, int parent, const char* name, int index, Rect r,
              const char* caption, Font font, Color fore, Color back,
              const char* toolTip = "")
{
    Control c = place(Kind::OptionButton, parent, name, index, r);
    c.caption = text(caption);
    c.toolTip = text(toolTip);
    c.font = font;
    c.fore = fore;
    c.back = back;
    c.value = false;
    return form.add(std::move(c));
}

// Labels show their container through them unless they are given a back
// colour of their own (see Label2); `back` is then only a fallback.
int addLabel(FormModel& form, int parent, const char* name, Rect r, const char* caption,
             Font font, Color fore, Alignment alignment = Alignment::Left,
             Color back = colors::grey)
{
    Control c = place(Kind::Label, parent, name, kNoIndex, r);
    c.caption = text(caption);
    c.font = font;
    c.fore = fore;
    c.back = back;
    c.transparent = true;
    c.alignment = alignment;
    return form.add(std::move(c));
}

// Lines are placed by their end points; left/top/width/height hold their
// bounding box for convenience.
int addLine(FormModel& form, int parent, const char* name, LinePoints p, Color colour,
            int widthPixels, LineStyle style)
{
    const Rect box{static_cast<int>(std::min(p.x1, p.x2)), static_cast<int>(std::min(p.y1, p.y2)),
                   static_cast<int>(std::abs(p.x2 - p.x1)), static_cast<int>(std::abs(p.y2 - p.y1))};
    Control c = place(Kind::Line, parent, name, kNoIndex, box);
    c.line = p;
    c.fore = colour;
    c.lineWidth = widthPixels;
    c.lineStyle = style;
    return form.add(std::move(c));
}

int addList(FormModel& form, Kind kind, int parent, const char* name, Rect r,
            std::vector<ListRow> rows, Font font)
{
    Control c = place(kind, parent, name, kNoIndex, r);
    c.rows = std::move(rows);
    c.listIndex = -1;
    c.font = font;
    c.fore = colors::black;
    c.back = colors::buttonFace;
    return form.add(std::move(c));
}

// Rows "first" to "last" with item value 0.
std::vector<ListRow> numberRows(int first, int last)
{
    std::vector<ListRow> rows;
    for (int n = first; n <= last; ++n)
        rows.push_back({QString::number(n), 0});
    return rows;
}

// ---------------------------------------------------------------------------
// Function row and display

void addFunctionButtons(FormModel& form, int window)
{
    struct Function { int index; int left; const char* caption; const char* toolTip; };
    // Right to left, as the buttons lie in the window.
    static constexpr Function kFunctions[] = {
        {4, 6360, "Setup", "Set the comms settings"},
        {3, 4800, "Period", "Period Function"},
        {2, 3240, "Frequency", "Frequency Function"},
        {1, 1680, "Fast Rise", "Fast Rise Function"},
        {0, 120, "Amplitude", "Amplitude Function"},
    };
    for (const Function& f : kFunctions)
        addOption(form, window, "optFunction", f.index, {f.left, 120, 1455, 495}, f.caption,
                  arial(12), colors::red, colors::black, f.toolTip);
}

void addDisplay(FormModel& form, int window)
{
    const int mainDisplay = addFrame(form, window, "fraMainDisplay", kNoIndex,
                                     {120, 600, 7695, 2055}, "", Font{}, colors::lightGrey,
                                     colors::grey);
    const int display = addFrame(form, mainDisplay, "fraDisplay", 0, {120, 240, 7455, 1695}, "",
                                 arial(14.25), colors::lightGrey, colors::black);

    auto trace = [&](const char* name, LinePoints p, LineStyle style = LineStyle::Solid) {
        addLine(form, display, name, p, colors::green, 3, style);
    };
    auto readout = [&](const char* name, Rect r, const char* caption, double points,
                       Alignment alignment = Alignment::Left) {
        return addLabel(form, display, name, r, caption, courier(points), colors::green,
                        alignment, colors::black);
    };

    Control arrow = place(Kind::Image, display, "imgArrow", kNoIndex, {4080, 800, 1020, 75});
    form.add(std::move(arrow));

    readout("lblVPeakPeak", {5880, 795, 1455, 735}, "10.0000 mV Pk-Pk", 14.25);
    trace("linHigh2", {5040, 960, 5520, 960});
    trace("linRise2", {5040, 960, 5040, 1320}, LineStyle::Dash);
    trace("linLow2", {4560, 1320, 5040, 1320});
    readout("lblDutyCycleDisplay", {120, 960, 3135, 375}, "Duty Cycle: 90.23%", 14.25,
            Alignment::Right);
    trace("linLow", {3600, 1320, 4080, 1320});
    trace("linRise", {4080, 960, 4080, 1320}, LineStyle::Dash);
    trace("linFall", {4560, 960, 4560, 1320});
    trace("linHigh", {4080, 960, 4560, 960});

    const int error = addLabel(form, display, "lblDeviceError", {120, 1400, 1575, 255},
                               "DEVICE ERROR!", courier(9.75), colors::red, Alignment::Left,
                               colors::black);
    form.at(error).visible = false;

    // The zero line inverts what it crosses.
    const int axis = addLine(form, display, "linX", {3600, 1320, 5520, 1320}, colors::magenta, 1,
                             LineStyle::Dot);
    form.at(axis).notXorPen = true;

    readout("lblMainDisplay", {120, 120, 7215, 1215}, "10.0000 mV/div, 8 div", 26.25,
            Alignment::Right);
}

// ---------------------------------------------------------------------------
// Amplitude panel

void addAmplitudePanel(FormModel& form, int panel)
{
    std::vector<ListRow> rows;
    for (const AmplitudeRange& r : kAmplitudeRanges)
        rows.push_back({text(r.caption), r.millivolts});
    addList(form, Kind::ListBox, panel, "lstAmpRanges", {120, 240, 2415, 3630}, std::move(rows),
            arial(15.75));

    const int deviation = addFrame(form, panel, "fraDeviation", kNoIndex, {2640, 240, 4935, 1215},
                                   "", arial(14.25), colors::lightGrey, colors::black);
    const int graticules = addFrame(form, panel, "fraGraticules", kNoIndex,
                                    {2640, 1560, 4935, 1215}, "Graticule Divisions", arial(14.25),
                                    colors::lightGrey, colors::grey);
    const int units = addFrame(form, panel, "fraAmpUnits", kNoIndex, {2640, 2880, 4935, 1095}, "",
                               Font{}, colors::lightGrey, colors::grey);

    const Font big = arial(15.75);
    addLatchingButton(form, deviation, "cmdDeviation", {120, 120, 2295, 495}, "Deviation ??", big,
                      colors::blue, colors::black);
    struct Step { const char* name; int left; int width; const char* caption; };
    static constexpr Step kSteps[] = {
        {"cmdDevDownLarge", 120, 495, "<<"}, {"cmdDevDown", 600, 495, "<"},
        {"cmdDevZero", 1080, 375, "O"},      {"cmdDevUp", 1440, 495, ">"},
        {"cmdDevUpLarge", 1920, 495, ">>"},
    };
    for (const Step& s : kSteps)
        addButton(form, deviation, s.name, kNoIndex, {s.left, 720, s.width, 375}, s.caption, big,
                  colors::black, colors::blue);
    addLatchingButton(form, deviation, "cmd50Ohm", {2520, 120, 2295, 495}, "50 Ohm ??", big,
                      colors::yellow, colors::black);
    addLabel(form, deviation, "lblDeviation", {2640, 640, 2175, 495}, "+8.88%", courier(24),
             colors::blue, Alignment::Center, colors::black);

    static constexpr const char* kDivisions[] = {"x1", "x2", "x4", "x6", "x8"};
    for (int i = 0; i < 5; ++i)
        addOption(form, graticules, "optGraticules", i, {120 + 960 * i, 360, 855, 735},
                  kDivisions[i], arial(24), colors::black, colors::buttonFace);

    addOption(form, units, "optWave", 0, {120, 240, 1500, 735}, "Zero", arial(20.25), colors::red,
              colors::darkBlue);
    addOption(form, units, "optWave", 1, {1725, 240, 1500, 735}, "DC", arial(20.25), colors::red,
              colors::darkBlue);
    addOption(form, units, "optWave", 2, {3315, 240, 1500, 735}, "1 kHz Square", arial(12),
              colors::red, colors::darkBlue);
}

// ---------------------------------------------------------------------------
// Fast-rise panel

void addFastRisePanel(FormModel& form, int panel)
{
    const int step2 = addFrame(form, panel, "fraFastRise2", kNoIndex, {3240, 960, 4335, 3015},
                               "Step 2: Bandwidth Calculation", arial(8.25), colors::windowText,
                               colors::grey);
    const int step1 = addFrame(form, panel, "fraFastRise1", kNoIndex, {120, 960, 3015, 3015},
                               "Step 1: Rise Time Measurement", arial(8.25), colors::windowText,
                               colors::grey);

    // The note lies on a black box with a yellow border: the box goes first
    // so that the note is drawn over it.
    Control box = place(Kind::Shape, panel, "shpFastRiseBox", kNoIndex, {240, 240, 7215, 615});
    box.fore = colors::yellow;
    box.back = colors::black;
    box.lineWidth = 2;
    form.add(std::move(box));
    addLabel(form, panel, "lblFastRiseNote", {600, 300, 6375, 495},
             "IMPORTANT NOTE:   50 OHM TERMINATION IS REQUIRED AT THE SCOPE END FOR ALL FAST "
             "RISE BANDWIDTH MEASUREMENTS",
             arial(9.75), colors::yellow, Alignment::Center, colors::black);

    Control entry = place(Kind::TextBox, step2, "txtRiseTime", kNoIndex, {3000, 720, 975, 495});
    entry.font = arial(18);
    entry.fore = colors::black;
    entry.back = kEntryBack;
    entry.toolTip = text("Enter Rise Time (ns) here");
    form.add(std::move(entry));
    addButton(form, step2, "cmdCalcRiseTime", kNoIndex, {1320, 1440, 1695, 615}, "Calculate",
              arial(14.25), colors::black, colors::green);
    addLabel(form, step2, "lblFastRise2", {120, 240, 4095, 495},
             "Enter the measured rise time here to calculate the bandwidth:", arialRegular(8.25),
             colors::lightGrey);
    Font boldItalic = arial(9.75);
    boldItalic.italic = true;
    addLabel(form, step2, "lblFastRise3", {120, 2280, 4095, 495},
             "The rise time of the Tarn is taken into account in the above calculation.",
             boldItalic, colors::lightGrey, Alignment::Center);
    addLabel(form, step2, "lblRiseTime", {120, 840, 2775, 375}, "Measured Rise Time (ns):",
             arial(11.25), colors::lightGrey, Alignment::Right);

    form.add(place(Kind::Image, step1, "imgFastRise", kNoIndex, {120, 720, 2760, 2220}));
    addLabel(form, step1, "lblFastRise1", {120, 240, 2775, 495},
             "Measure the rise time (ns) of the waveform between 10% and 90%:", arialRegular(8.25),
             colors::lightGrey);
}

// ---------------------------------------------------------------------------
// Timing panels: range choice, keypad and presets

struct Key {
    const char* name;
    int index;
    int left, top, width;
    const char* caption;
};

// Digit and clear keys: 1095 by 735 on a 4 by 3 grid.
constexpr int kCol[] = {120, 1320, 2520, 3720};
constexpr int kRow[] = {480, 1320, 2160};
constexpr int kUnitRow = 3000;
constexpr int kKeyWidth = 1095;
constexpr int kKeyHeight = 735;

// The digit block of a keypad: 7 8 9 0 / 4 5 6 . / 1 2 3 C.
void addDigitKeys(FormModel& form, int pad, const char* digitName, int decimalIndex,
                  const char* clearName)
{
    const Key keys[] = {
        {digitName, 7, kCol[0], kRow[0], kKeyWidth, "7"},
        {digitName, 8, kCol[1], kRow[0], kKeyWidth, "8"},
        {digitName, 9, kCol[2], kRow[0], kKeyWidth, "9"},
        {digitName, 0, kCol[3], kRow[0], kKeyWidth, "0"},
        {digitName, 4, kCol[0], kRow[1], kKeyWidth, "4"},
        {digitName, 5, kCol[1], kRow[1], kKeyWidth, "5"},
        {digitName, 6, kCol[2], kRow[1], kKeyWidth, "6"},
        {digitName, decimalIndex, kCol[3], kRow[1], kKeyWidth, "."},
        {digitName, 1, kCol[0], kRow[2], kKeyWidth, "1"},
        {digitName, 2, kCol[1], kRow[2], kKeyWidth, "2"},
        {digitName, 3, kCol[2], kRow[2], kKeyWidth, "3"},
        {clearName, kNoIndex, kCol[3], kRow[2], kKeyWidth, "C"},
    };
    for (const Key& k : keys) {
        const bool clear = k.index == kNoIndex;
        addButton(form, pad, k.name, k.index, {k.left, k.top, k.width, kKeyHeight}, k.caption,
                  arial(24), clear ? colors::red : colors::yellow, colors::darkBlue);
    }
}

// The unit row below the digits; the duty-cycle key is the last of each.
void addUnitKeys(FormModel& form, int pad, const std::vector<Key>& keys, double dutyPoints)
{
    for (const Key& k : keys) {
        const bool duty = std::strcmp(k.name, "cmdDutyCycle") == 0;
        addButton(form, pad, k.name, k.index, {k.left, k.top, k.width, kKeyHeight}, k.caption,
                  duty ? arial(dutyPoints) : arial(24), colors::darkBlue, colors::buttonFace);
    }
}

// Preset keys: 1500 by 975, three by three.
void addPresets(FormModel& form, int frame, const char* const (&names)[9],
                const char* const (&captions)[9])
{
    static constexpr int kLeft[] = {120, 1725, 3315};
    static constexpr int kTop[] = {480, 1560, 2640};
    for (int i = 0; i < 9; ++i)
        addButton(form, frame, names[i], kNoIndex, {kLeft[i % 3], kTop[i / 3], 1500, 975},
                  captions[i], arial(18), colors::yellow, colors::darkBlue);
}

constexpr Rect kRangeFrame{120, 120, 2415, 2175};
constexpr Rect kEntryFrame{2640, 120, 4935, 3855};  // keypad and presets share this place

void addFrequencyPanel(FormModel& form, int panel)
{
    const int range = addFrame(form, panel, "fraFreqRange", kNoIndex, kRangeFrame, "Range",
                               arial(14.25), colors::windowText, colors::grey);
    addOption(form, range, "optFreqRange", 0, {120, 480, 2175, 735}, "    0.1 Hz -    170 kHz",
              arial(14.25), colors::windowText, colors::buttonFace);
    addOption(form, range, "optFreqRange", 1, {120, 1320, 2175, 735}, "   200 kHz -  100 MHz",
              arial(14.25), colors::windowText, colors::buttonFace);

    const int keypad = addFrame(form, panel, "fraLowFreq", kNoIndex, kEntryFrame,
                                "Enter Frequency", Font{}, colors::windowText, colors::grey);
    // The decimal-point key of this keypad is member 21.
    addDigitKeys(form, keypad, "cmdFreqNumber", 21, "cmdFreqClear");
    addUnitKeys(form, keypad,
                {{"cmdFreqUnits", 0, 120, kUnitRow, 1500, "Hz"},
                 {"cmdFreqUnits", 1, 1725, kUnitRow, 1500, "kHz"},
                 {"cmdDutyCycle", 0, 3315, kUnitRow, 1500, "% Duty Cycle"}},
                12);

    const int presets = addFrame(form, panel, "fraHighFreq", kNoIndex, kEntryFrame,
                                 "Select Frequency", Font{}, colors::windowText, colors::grey);
    static constexpr const char* kNames[9] = {"cmd200kHz", "cmd500kHz", "cmd1MHz",
                                              "cmd2MHz",   "cmd5MHz",   "cmd10MHz",
                                              "cmd20MHz",  "cmd50MHz",  "cmd100MHz"};
    static constexpr const char* kCaptions[9] = {"200 kHz", "500 kHz", "1 MHz",
                                                 "2 MHz",   "5 MHz",   "10 MHz",
                                                 "20 MHz",  "50 MHz",  "100 MHz"};
    addPresets(form, presets, kNames, kCaptions);
}

void addPeriodPanel(FormModel& form, int panel)
{
    const int range = addFrame(form, panel, "fraPeriodRang", kNoIndex, kRangeFrame, "Range",
                               arial(14.25), colors::windowText, colors::grey);
    addOption(form, range, "optPeriodRange", 0, {120, 480, 2175, 735}, "10 ns - 5 \u00b5s",
              arial(18), colors::windowText, colors::buttonFace, "Low Period Range");
    addOption(form, range, "optPeriodRange", 1, {120, 1320, 2175, 735}, "6 \u00b5s - 15 s",
              arial(18), colors::windowText, colors::buttonFace, "High Period Range");

    const int keypad = addFrame(form, panel, "fraHighPeriod", kNoIndex, kEntryFrame,
                                "Enter Period", Font{}, colors::windowText, colors::grey);
    // The decimal-point key of this keypad is member 10.
    addDigitKeys(form, keypad, "cmdPeriodNumber", 10, "cmdPeriodClear");
    addUnitKeys(form, keypad,
                {{"cmdPeriodUnits", 0, kCol[0], kUnitRow, kKeyWidth, "\u00b5s"},
                 {"cmdPeriodUnits", 1, kCol[1], kUnitRow, kKeyWidth, "ms"},
                 {"cmdPeriodUnits", 2, kCol[2], kUnitRow, kKeyWidth, "s"},
                 {"cmdDutyCycle", 1, kCol[3], kUnitRow, kKeyWidth, "% Duty Cycle"}},
                11.25);

    const int presets = addFrame(form, panel, "fraLowPeriod", kNoIndex, kEntryFrame,
                                 "Select Period", Font{}, colors::windowText, colors::grey);
    static constexpr const char* kNames[9] = {"cmd10ns",  "cmd20ns",  "cmd50ns",
                                              "cmd100ns", "cmd200ns", "cmd500ns",
                                              "cmd1us",   "cmd2us",   "cmd5us"};
    static constexpr const char* kCaptions[9] = {"10 ns",    "20 ns",    "50 ns",
                                                 "100 ns",   "200 ns",   "500 ns",
                                                 "1 \u00b5s", "2 \u00b5s", "5 \u00b5s"};
    addPresets(form, presets, kNames, kCaptions);
}

// ---------------------------------------------------------------------------
// Setup panel

void addSetupPanel(FormModel& form, int panel)
{
    const int note = addLabel(form, panel, "Label2", {240, 720, 7335, 495},
                              "Select the communication settings for the Tarn below, then click "
                              "Apply.",
                              Font{QStringLiteral("MS Sans Serif"), 9.75, true, false},
                              colors::blue);
    form.at(note).transparent = false;  // its own grey background

    const int mode = addLabel(form, panel, "lblCommsMode", {960, 1320, 2175, 375}, "Comms. Type:",
                              arial(14.25), colors::lightGrey, Alignment::Right);
    form.at(mode).visible = false;
    const int gpib = addOption(form, panel, "optCommsType", 0, {3360, 1200, 1335, 615}, "GPIB",
                               arial(14.25), colors::black, colors::buttonFace);
    form.at(gpib).visible = false;
    const int serial = addOption(form, panel, "optCommsType", 1, {4920, 1200, 1335, 615}, "RS232",
                                 arial(14.25), colors::black, colors::buttonFace);
    form.at(serial).visible = false;

    addLabel(form, panel, "lblAddress", {960, 2085, 2175, 375}, "PC COM Port:", arial(14.25),
             colors::lightGrey, Alignment::Right);
    // Both lists share one place and stay visible. The bus address list has
    // no use in this edition, so it goes underneath: the serial port list,
    // added after it, lies on top where the operator can reach it.
    addList(form, Kind::DropDownList, panel, "cboGPIBAddress", {3360, 2040, 1335, 450},
            numberRows(0, 31), arial(14.25));
    addList(form, Kind::DropDownList, panel, "cboSerialPort", {3360, 2040, 1335, 450},
            numberRows(1, 9), arial(14.25));

    const int procedure = addButton(form, panel, "cmdProcedure", kNoIndex, {240, 3120, 1755, 735},
                                    "Procedure...", arial(9.75), colors::black, colors::buttonFace);
    form.at(procedure).toolTip = QStringLiteral("Run a calibration procedure from a file (Ctrl+O)");
    addButton(form, panel, "cmdApply", kNoIndex, {5880, 3120, 1575, 735}, "Apply", arial(15.75),
              colors::black, colors::green);
    // The calibration records of a unit.
    addButton(form, panel, "cmdHistory", kNoIndex, {2115, 3120, 1755, 735}, "History...",
              arial(15.75), colors::black, colors::buttonFace);
    const int log = addButton(form, panel, "cmdCommandLog", kNoIndex, {3990, 3120, 1755, 735},
                              "Command Log", arial(9.75), colors::black, colors::buttonFace);
    form.at(log).toolTip = QStringLiteral("Every command piece sent (Ctrl+L)");
}

} // namespace

void BuildLayout(FormModel& form)
{
    Control main;
    main.kind = Kind::Window;
    main.name = QStringLiteral("frmMain");
    main.width = 7950;
    main.height = 6855;
    main.caption = QStringLiteral("Corvane Tarn Scope & Timer-Counter Calibrator");
    main.back = colors::grey;
    const int window = form.add(std::move(main));

    addFunctionButtons(form, window);

    // The serial control has no place on screen; its line speed (9600 baud)
    // belongs to whatever transport opens the port.
    form.add(place(Kind::SerialPort, window, "comSerial", kNoIndex, {}));

    addDisplay(form, window);

    // Deviation auto-repeat; runs only while a step button is held.
    Control repeat = place(Kind::Timer, window, "tmrRepeat", kNoIndex, {});
    repeat.enabled = false;
    repeat.interval = 500;
    form.add(std::move(repeat));

    // The five function panels lie in the same place; function selection
    // shows one of them.
    struct Panel {
        Color fore;
        void (*fill)(FormModel&, int);
        bool visible;
    };
    const Panel panels[] = {
        {colors::lightGrey, addAmplitudePanel, true},
        {colors::windowText, addFastRisePanel, false},
        {colors::windowText, addFrequencyPanel, true},
        {colors::windowText, addPeriodPanel, true},
        {colors::windowText, addSetupPanel, false},
    };
    for (int i = 0; i < 5; ++i) {
        const int panel = addFrame(form, window, "fraFunction", i, {120, 2640, 7695, 4095}, "",
                                   Font{}, panels[i].fore, colors::grey);
        form.at(panel).visible = panels[i].visible;
        panels[i].fill(form, panel);
    }
}

} // namespace tarn
