#include "app/form.h"

#include <gtest/gtest.h>

#include <QSet>
#include <QStringList>

#include <algorithm>
#include <map>
#include <tuple>

using tarn::BuildLayout;
using tarn::Control;
using tarn::FormModel;
using tarn::Kind;
using tarn::kNoIndex;
using tarn::LinePoints;
using tarn::LineStyle;
namespace colors = tarn::colors;

namespace {

FormModel built()
{
    FormModel form;
    BuildLayout(form);
    return form;
}

QString keyOf(const FormModel& form, int id) { return FormModel::key(form.at(id)); }

std::vector<int> indicesOf(const FormModel& form, const char* name)
{
    std::vector<int> indices;
    for (int id : form.group(QString::fromLatin1(name)))
        indices.push_back(form.at(id).index);
    std::sort(indices.begin(), indices.end());
    return indices;
}

// Every control of the window by container, as object names.
struct Containment {
    const char* container;
    QStringList children;
};

const std::vector<Containment>& windowTree()
{
    static const std::vector<Containment> tree = {
        {"frmMain",
         {"optFunction(4)", "optFunction(3)", "optFunction(2)", "optFunction(1)", "optFunction(0)",
          "comSerial", "fraMainDisplay", "tmrRepeat", "fraFunction(0)", "fraFunction(1)",
          "fraFunction(2)", "fraFunction(3)", "fraFunction(4)"}},
        {"fraMainDisplay", {"fraDisplay(0)"}},
        {"fraDisplay(0)",
         {"imgArrow", "lblVPeakPeak", "linHigh2", "linRise2", "linLow2", "lblDutyCycleDisplay",
          "linLow", "linRise", "linFall", "linHigh", "lblDeviceError", "linX", "lblMainDisplay"}},
        {"fraFunction(0)", {"lstAmpRanges", "fraDeviation", "fraGraticules", "fraAmpUnits"}},
        {"fraDeviation",
         {"cmdDeviation", "cmdDevDownLarge", "cmdDevDown", "cmdDevZero", "cmdDevUp",
          "cmdDevUpLarge", "cmd50Ohm", "lblDeviation"}},
        {"fraGraticules",
         {"optGraticules(0)", "optGraticules(1)", "optGraticules(2)", "optGraticules(3)",
          "optGraticules(4)"}},
        {"fraAmpUnits", {"optWave(0)", "optWave(1)", "optWave(2)"}},
        {"fraFunction(1)", {"fraFastRise2", "fraFastRise1", "shpFastRiseBox", "lblFastRiseNote"}},
        {"fraFastRise2",
         {"txtRiseTime", "cmdCalcRiseTime", "lblFastRise2", "lblFastRise3", "lblRiseTime"}},
        {"fraFastRise1", {"imgFastRise", "lblFastRise1"}},
        {"fraFunction(2)", {"fraFreqRange", "fraLowFreq", "fraHighFreq"}},
        {"fraFreqRange", {"optFreqRange(0)", "optFreqRange(1)"}},
        {"fraLowFreq",
         {"cmdFreqNumber(7)", "cmdFreqNumber(8)", "cmdFreqNumber(9)", "cmdFreqNumber(0)",
          "cmdFreqNumber(4)", "cmdFreqNumber(5)", "cmdFreqNumber(6)", "cmdFreqNumber(21)",
          "cmdFreqNumber(1)", "cmdFreqNumber(2)", "cmdFreqNumber(3)", "cmdFreqClear",
          "cmdFreqUnits(0)", "cmdFreqUnits(1)", "cmdDutyCycle(0)"}},
        {"fraHighFreq",
         {"cmd200kHz", "cmd500kHz", "cmd1MHz", "cmd2MHz", "cmd5MHz", "cmd10MHz", "cmd20MHz",
          "cmd50MHz", "cmd100MHz"}},
        {"fraFunction(3)", {"fraPeriodRang", "fraHighPeriod", "fraLowPeriod"}},
        {"fraPeriodRang", {"optPeriodRange(0)", "optPeriodRange(1)"}},
        {"fraHighPeriod",
         {"cmdPeriodNumber(7)", "cmdPeriodNumber(8)", "cmdPeriodNumber(9)", "cmdPeriodNumber(0)",
          "cmdPeriodNumber(4)", "cmdPeriodNumber(5)", "cmdPeriodNumber(6)",
          "cmdPeriodNumber(10)", "cmdPeriodNumber(1)", "cmdPeriodNumber(2)",
          "cmdPeriodNumber(3)", "cmdPeriodClear", "cmdPeriodUnits(0)", "cmdPeriodUnits(1)",
          "cmdPeriodUnits(2)", "cmdDutyCycle(1)"}},
        {"fraLowPeriod",
         {"cmd10ns", "cmd20ns", "cmd50ns", "cmd100ns", "cmd200ns", "cmd500ns", "cmd1us", "cmd2us",
          "cmd5us"}},
        {"fraFunction(4)",
         {"Label2", "lblCommsMode", "optCommsType(0)", "optCommsType(1)", "lblAddress",
          "cboGPIBAddress", "cboSerialPort", "cmdProcedure", "cmdApply", "cmdHistory",
          "cmdCommandLog"}},
    };
    return tree;
}

// Object name -> id, over the whole model.
std::map<QString, int> idsByKey(const FormModel& form)
{
    std::map<QString, int> ids;
    for (int id = 0; id < form.size(); ++id)
        ids[keyOf(form, id)] = id;
    return ids;
}

} // namespace

TEST(Layout, WindowComesFirst)
{
    const FormModel form = built();
    ASSERT_GT(form.size(), 0);
    const Control& w = form.window();
    EXPECT_EQ(w.kind, Kind::Window);
    EXPECT_EQ(w.name, "frmMain");
    EXPECT_EQ(w.parent, -1);
    EXPECT_EQ(w.width, 7950);
    EXPECT_EQ(w.height, 6855);
    EXPECT_EQ(w.caption, "Corvane Tarn Scope & Timer-Counter Calibrator");
    EXPECT_EQ(w.back, colors::grey);
}

TEST(Layout, EveryControlExistsInItsContainerAndNothingElse)
{
    const FormModel form = built();
    const auto ids = idsByKey(form);
    int expectedCount = 1;  // the window
    for (const Containment& c : windowTree()) {
        const auto container = ids.find(QString::fromLatin1(c.container));
        ASSERT_NE(container, ids.end()) << c.container;
        for (const QString& child : c.children) {
            const auto it = ids.find(child);
            ASSERT_NE(it, ids.end()) << "missing " << child.toStdString();
            EXPECT_EQ(form.at(it->second).parent, container->second)
                << child.toStdString() << " is not in " << c.container;
        }
        expectedCount += static_cast<int>(c.children.size());
    }
    EXPECT_EQ(form.size(), expectedCount) << "controls that are not part of the design";
}

TEST(Layout, ContainersAreAddedBeforeTheirContentsAndAreFramesOrTheWindow)
{
    const FormModel form = built();
    for (int id = 1; id < form.size(); ++id) {
        const Control& c = form.at(id);
        ASSERT_GE(c.parent, 0) << keyOf(form, id).toStdString();
        ASSERT_LT(c.parent, id) << keyOf(form, id).toStdString();
        const Kind parentKind = form.at(c.parent).kind;
        EXPECT_TRUE(parentKind == Kind::Window || parentKind == Kind::Frame)
            << keyOf(form, id).toStdString();
    }
}

TEST(Layout, EveryControlLiesInsideItsContainer)
{
    const FormModel form = built();
    for (int id = 1; id < form.size(); ++id) {
        const Control& c = form.at(id);
        const Control& box = form.at(c.parent);
        const std::string what = keyOf(form, id).toStdString();
        if (c.kind == Kind::Timer || c.kind == Kind::SerialPort)
            continue;  // no place on screen
        if (c.kind == Kind::Line) {
            for (float x : {c.line.x1, c.line.x2}) {
                EXPECT_GE(x, 0) << what;
                EXPECT_LE(x, box.width) << what;
            }
            for (float y : {c.line.y1, c.line.y2}) {
                EXPECT_GE(y, 0) << what;
                EXPECT_LE(y, box.height) << what;
            }
            continue;
        }
        EXPECT_GT(c.width, 0) << what;
        EXPECT_GT(c.height, 0) << what;
        EXPECT_GE(c.left, 0) << what;
        EXPECT_GE(c.top, 0) << what;
        EXPECT_LE(c.left + c.width, box.width) << what;
        EXPECT_LE(c.top + c.height, box.height) << what;
    }
}

TEST(Layout, KeypadDecimalKeysAndDigits)
{
    const FormModel form = built();
    const std::vector<int> freq{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 21};
    const std::vector<int> period{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    EXPECT_EQ(indicesOf(form, "cmdFreqNumber"), freq);
    EXPECT_EQ(indicesOf(form, "cmdPeriodNumber"), period);
    EXPECT_EQ(form("cmdFreqNumber", 21).caption, ".");
    EXPECT_EQ(form("cmdPeriodNumber", 10).caption, ".");
    for (int digit = 0; digit <= 9; ++digit) {
        EXPECT_EQ(form("cmdFreqNumber", digit).caption, QString::number(digit));
        EXPECT_EQ(form("cmdPeriodNumber", digit).caption, QString::number(digit));
    }

    // One duty-cycle group with a member on each keypad.
    EXPECT_EQ(indicesOf(form, "cmdDutyCycle"), (std::vector<int>{0, 1}));
    EXPECT_EQ(form.at(form("cmdDutyCycle", 0).parent).name, "fraLowFreq");
    EXPECT_EQ(form.at(form("cmdDutyCycle", 1).parent).name, "fraHighPeriod");
    EXPECT_EQ(form("cmdDutyCycle", 0).caption, "% Duty Cycle");
    EXPECT_EQ(form("cmdDutyCycle", 1).caption, "% Duty Cycle");
}

TEST(Layout, KeypadsAndPresetsShareOnePlace)
{
    const FormModel form = built();
    auto same = [&](const char* a, const char* b) {
        const Control& x = form(QString::fromLatin1(a));
        const Control& y = form(QString::fromLatin1(b));
        EXPECT_EQ(x.parent, y.parent) << a << " / " << b;
        EXPECT_EQ(x.left, y.left) << a << " / " << b;
        EXPECT_EQ(x.top, y.top) << a << " / " << b;
        EXPECT_EQ(x.width, y.width) << a << " / " << b;
        EXPECT_EQ(x.height, y.height) << a << " / " << b;
        EXPECT_TRUE(x.visible && y.visible) << a << " / " << b;
    };
    same("fraLowFreq", "fraHighFreq");
    same("fraHighPeriod", "fraLowPeriod");
    same("cboSerialPort", "cboGPIBAddress");

    // All five function panels lie in one place too.
    const Control& first = form("fraFunction", 0);
    for (int i = 1; i <= 4; ++i) {
        const Control& panel = form("fraFunction", i);
        EXPECT_EQ(std::tie(panel.left, panel.top, panel.width, panel.height),
                  std::tie(first.left, first.top, first.width, first.height));
    }
}

TEST(Layout, StackingOfOverlappingControls)
{
    const FormModel form = built();
    // The serial port list must be the one the operator reaches.
    EXPECT_GT(form.idOf("cboSerialPort"), form.idOf("cboGPIBAddress"));
    // The box is drawn behind the note it frames.
    EXPECT_LT(form.idOf("shpFastRiseBox"), form.idOf("lblFastRiseNote"));
    // The zero line and the main text lie over the waveform.
    EXPECT_GT(form.idOf("linX"), form.idOf("linLow"));
    EXPECT_GT(form.idOf("lblMainDisplay"), form.idOf("linX"));
}

TEST(Layout, AmplitudeRangeRows)
{
    const FormModel form = built();
    const Control& ranges = form("lstAmpRanges");
    EXPECT_EQ(ranges.kind, Kind::ListBox);
    ASSERT_EQ(ranges.rows.size(), 15u);
    EXPECT_EQ(ranges.rows.front().caption, "1 mV/div");
    EXPECT_EQ(ranges.rows.front().itemData, 1);
    EXPECT_EQ(ranges.rows[9].caption, "1 V/div");
    EXPECT_EQ(ranges.rows[9].itemData, 1000);
    EXPECT_EQ(ranges.rows.back().caption, "50 V/div");
    EXPECT_EQ(ranges.rows.back().itemData, 50000);
    // 1-2-5 steps throughout.
    for (size_t i = 1; i < ranges.rows.size(); ++i) {
        const int ratio10 = ranges.rows[i].itemData * 10 / ranges.rows[i - 1].itemData;
        EXPECT_TRUE(ratio10 == 20 || ratio10 == 25) << "row " << i;
    }
}

TEST(Layout, DropDownListRows)
{
    const FormModel form = built();
    const Control& serial = form("cboSerialPort");
    const Control& gpib = form("cboGPIBAddress");
    EXPECT_EQ(serial.kind, Kind::DropDownList);
    EXPECT_EQ(gpib.kind, Kind::DropDownList);
    ASSERT_EQ(serial.rows.size(), 9u);
    ASSERT_EQ(gpib.rows.size(), 32u);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(serial.rows[static_cast<size_t>(i)].caption, QString::number(i + 1));
        EXPECT_EQ(serial.rows[static_cast<size_t>(i)].itemData, 0);
    }
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(gpib.rows[static_cast<size_t>(i)].caption, QString::number(i));
}

TEST(Layout, RangeCaptionsKeepTheirSpacesAndMicroSign)
{
    const FormModel form = built();
    EXPECT_EQ(form("optFreqRange", 0).caption, "    0.1 Hz -    170 kHz");
    EXPECT_EQ(form("optFreqRange", 1).caption, "   200 kHz -  100 MHz");

    const QChar micro(0x00B5);
    EXPECT_EQ(form("optPeriodRange", 0).caption, QString("10 ns - 5 ") + micro + "s");
    EXPECT_EQ(form("optPeriodRange", 1).caption, QString("6 ") + micro + "s - 15 s");
    EXPECT_EQ(form("cmdPeriodUnits", 0).caption, QString(micro) + "s");
    EXPECT_EQ(form("cmd5us").caption, QString("5 ") + micro + "s");
    // Never the Greek letter mu.
    for (const Control& c : form.controls())
        EXPECT_FALSE(c.caption.contains(QChar(0x03BC))) << c.name.toStdString();
}

TEST(Layout, DesignVisibility)
{
    const FormModel form = built();
    const QSet<QString> hidden{"fraFunction(1)", "fraFunction(4)", "lblDeviceError",
                               "lblCommsMode",   "optCommsType(0)", "optCommsType(1)"};
    for (int id = 0; id < form.size(); ++id)
        EXPECT_EQ(form.at(id).visible, !hidden.contains(keyOf(form, id)))
            << keyOf(form, id).toStdString();

    // The panels of frequency and period are visible at design, so their
    // contents show as soon as the function selection stops hiding them.
    EXPECT_TRUE(form.shown(form.idOf("cmdFreqNumber", 21)));
    EXPECT_TRUE(form.shown(form.idOf("cmd5us")));
    EXPECT_FALSE(form.shown(form.idOf("cmdApply")));
    EXPECT_FALSE(form.shown(form.idOf("txtRiseTime")));
}

TEST(Layout, NothingIsChosenAtDesign)
{
    const FormModel form = built();
    int options = 0;
    int lists = 0;
    for (const Control& c : form.controls()) {
        if (c.kind == Kind::OptionButton) {
            ++options;
            EXPECT_FALSE(c.value) << FormModel::key(c).toStdString();
        }
        if (c.kind == Kind::ListBox || c.kind == Kind::DropDownList) {
            ++lists;
            EXPECT_EQ(c.listIndex, -1) << c.name.toStdString();
            EXPECT_TRUE(c.listText().isEmpty());
        }
    }
    EXPECT_EQ(options, 5 + 5 + 3 + 2 + 2 + 2);
    EXPECT_EQ(lists, 3);

    const Control& timer = form("tmrRepeat");
    EXPECT_EQ(timer.kind, Kind::Timer);
    EXPECT_FALSE(timer.enabled);
    EXPECT_EQ(timer.interval, 500);
    EXPECT_TRUE(form("txtRiseTime").caption.isEmpty());
}

// Option buttons deselect the others of their container, so every container
// must hold options of one group only.
TEST(Layout, OptionGroupsDoNotShareAContainer)
{
    const FormModel form = built();
    std::map<int, QString> groupIn;
    for (const Control& c : form.controls()) {
        if (c.kind != Kind::OptionButton)
            continue;
        const auto it = groupIn.emplace(c.parent, c.name).first;
        EXPECT_EQ(it->second, c.name) << "mixed option groups in " << keyOf(form, c.parent).toStdString();
    }
}

TEST(Layout, OnlyDeviationAndFiftyOhmLatch)
{
    const FormModel form = built();
    for (const Control& c : form.controls()) {
        if (c.kind != Kind::CommandButton)
            continue;
        const bool toggle = c.name == "cmdDeviation" || c.name == "cmd50Ohm";
        EXPECT_EQ(c.latching, toggle) << FormModel::key(c).toStdString();
        EXPECT_EQ(c.latchValue, 1) << FormModel::key(c).toStdString();  // released
    }
}

TEST(Layout, WaveformLinesAtTheirDesignEndPoints)
{
    const FormModel form = built();
    struct Expected {
        const char* name;
        LinePoints points;
    };
    const Expected lines[] = {
        {"linX", {3600, 1320, 5520, 1320}},   {"linLow", {3600, 1320, 4080, 1320}},
        {"linRise", {4080, 960, 4080, 1320}}, {"linHigh", {4080, 960, 4560, 960}},
        {"linFall", {4560, 960, 4560, 1320}}, {"linLow2", {4560, 1320, 5040, 1320}},
        {"linRise2", {5040, 960, 5040, 1320}}, {"linHigh2", {5040, 960, 5520, 960}},
    };
    const int display = form.idOf("fraDisplay", 0);
    for (const Expected& e : lines) {
        const Control& line = form(QString::fromLatin1(e.name));
        EXPECT_EQ(line.kind, Kind::Line) << e.name;
        EXPECT_EQ(line.parent, display) << e.name;
        EXPECT_EQ(line.line, e.points) << e.name;
        if (line.name == "linX")
            continue;
        EXPECT_EQ(line.fore, colors::green) << e.name;
        EXPECT_EQ(line.lineWidth, 3) << e.name;
        EXPECT_FALSE(line.notXorPen) << e.name;
        const bool edge = line.name == "linRise" || line.name == "linRise2";
        EXPECT_EQ(line.lineStyle, edge ? LineStyle::Dash : LineStyle::Solid) << e.name;
    }
    // One period of the design picture is 960 twips: a 50 % square wave.
    EXPECT_FLOAT_EQ(form("linHigh").line.x2 - form("linLow").line.x1, 960.0f);

    const Control& axis = form("linX");
    EXPECT_EQ(axis.fore, colors::magenta);
    EXPECT_EQ(axis.lineWidth, 1);
    EXPECT_EQ(axis.lineStyle, LineStyle::Dot);
    EXPECT_TRUE(axis.notXorPen);
}

TEST(Layout, LabelsShowTheirContainerExceptLabel2)
{
    const FormModel form = built();
    for (const Control& c : form.controls()) {
        if (c.kind == Kind::Label) {
            EXPECT_EQ(c.transparent, c.name != "Label2") << c.name.toStdString();
        }
    }
    EXPECT_EQ(form("Label2").back, colors::grey);
    // The display's texts are green on black, the error indicator red.
    for (const char* name : {"lblMainDisplay", "lblDutyCycleDisplay", "lblVPeakPeak"})
        EXPECT_EQ(form(QString::fromLatin1(name)).fore, colors::green) << name;
    EXPECT_EQ(form("lblDeviceError").fore, colors::red);
}
