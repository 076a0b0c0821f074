#include "amplitude/amplitude_panel.h"
#include "app/test_fakes.h"

#include <gtest/gtest.h>

#include <functional>

using namespace tarn;
using namespace tarn::testing;

namespace {

enum Row { k1mV = 0, k2mV = 1, k10mV = 3, k200mV = 7, k500mV = 8, k1V = 9, k5V = 11, k10V = 12,
           k20V = 13, k50V = 14 };
enum Wave { kZero = 0, kDc = 1, kSquare = 2 };

// The amplitude panel just after start-up: 1 mV/div, x2, Zero, nothing sent since.
struct Panel {
    Panel()
    {
        h.start();
        h.journal.clear();
    }
    FormModel& form() { return h.window->form(); }
    void row(int r) { form().operatorSelectRow("lstAmpRanges", kNoIndex, r); }
    void graticule(int i) { form().operatorClick("optGraticules", i); }
    void wave(int i) { form().operatorClick("optWave", i); }
    void click(const QString& name) { form().operatorClick(name); }
    // A step button as the operator works it: press, hold for `ticks`
    // repeat intervals, release, and the click that follows the release.
    void hold(const QString& name, int ticks, int button = 1)
    {
        press(name, button);
        for (int i = 0; i < ticks; ++i)
            form().timerTick("tmrRepeat");
        h.pointer.held.clear();
        form().operatorMouseUp(name, kNoIndex);
        if (button == 1)
            click(name);
    }
    void press(const QString& name, int button = 1)
    {
        form().operatorMouseDown(name, kNoIndex, button);
        if (button == 1)
            h.pointer.held << name;
    }
    // The command texts sent since the last call, pieces joined by "/".
    QString sent()
    {
        const QString text = h.pieces().join('/');
        h.journal.clear();
        return text;
    }
    QString caption(const QString& name, int index = kNoIndex) { return h.c(name, index).caption; }

    Harness h;
};

TEST(Amplitude, TypicalOperatorSequence)
{
    Panel p;
    const struct {
        std::function<void()> action;
        const char* sent;
        bool outputSet;
    } steps[] = {
        {[&] { p.wave(kDc); }, "A 0.001/G 2/WAVE DC/50R OFF", true},
        {[&] { p.row(k10mV); }, "A 0.01", true},
        {[&] { p.graticule(4); }, "G 8", true},
        {[&] { p.wave(kSquare); }, "WAVE SQ", true},
        {[&] { p.click("cmdDeviation"); }, "A 0.01", true},
        {[&] { p.hold("cmdDevUp", 0); }, "A 0.010001", true},
        {[&] { p.wave(kZero); }, "OFF", false},
        {[&] { p.wave(kDc); }, "A 0.010001/G 8/WAVE DC/50R OFF", true},
    };
    for (const auto& step : steps) {
        step.action();
        EXPECT_EQ(p.sent(), step.sent);
        EXPECT_EQ(p.h.window->state().OutputSet, step.outputSet) << step.sent;
        EXPECT_FALSE(p.h.window->state().AmplitudeUpdating);
    }
}

TEST(Amplitude, EnteringThePanelResetsEverythingAndSendsOnlyOff)
{
    Panel p;
    p.row(k10mV);
    p.click("cmd50Ohm");
    p.click("cmdDeviation");
    p.hold("cmdDevUpLarge", 0);
    p.wave(kDc);
    p.form().operatorClick("optFunction", kSetup);
    p.sent();
    p.form().operatorClick("optFunction", kAmplitude);
    // Zero is chosen anew, which runs its action, and then run once more.
    EXPECT_EQ(p.sent(), "OFF/OFF");
    EXPECT_EQ(p.caption("cmdDeviation"), "Deviation OFF");
    EXPECT_EQ(p.caption("cmd50Ohm"), "50 Ohm OFF");
    EXPECT_FALSE(p.h.c("cmdDevUp").visible);
    EXPECT_FALSE(p.h.c("lblDeviation").visible);
    EXPECT_EQ(p.h.window->state().DeviationFactor, 1.0);
    EXPECT_EQ(p.h.c("optGraticules", 1).back, colors::red);
    EXPECT_EQ(p.caption("lblMainDisplay"), "Output Zero");
}

TEST(Amplitude, FiftyOhmIsRefusedAbove200mVInEitherOrder)
{
    const MessageRequest warning{"Warning",
                                 "50 Ohm output is not available about 200 mV.\r\r"
                                 "Please ensure the instrument is now set to high impedance mode.",
                                 MessageIcon::Exclamation, MessageButtons::Ok};
    const MessageRequest refusal{"Out of range", "50 Ohm mode is only available up to 200 mV/div.",
                                 MessageIcon::Exclamation, MessageButtons::Ok};
    const int none = -1;
    const struct {
        const char* name;
        int row, wave;  // chosen before 50 Ohm is latched (row: none keeps 1 mV/div)
        int laterRow;   // range chosen afterwards, if any
        const char* sent;
        std::vector<MessageRequest> shown;
        int thenWave;   // waveform chosen at the end, if any, and what it sends
        const char* thenSent;
    } cases[] = {
        {"output set", k200mV, kDc, k500mV, "50R ON/50R OFF/A 0.5", {warning}, none, ""},
        {"output zero", k200mV, kZero, k500mV, "", {warning}, kDc, "A 0.5/G 2/WAVE DC/50R OFF"},
        {"200 mV/div is allowed", k200mV, kDc, k200mV, "50R ON/A 0.2", {}, none, ""},
        {"100 mV/div is allowed", k200mV, kSquare, 6, "50R ON/A 0.1", {}, none, ""},
        // The other order: 50 Ohm asked for on 500 mV/div.
        {"asked for on 500 mV/div", k500mV, kDc, none, "", {refusal}, none, ""},
        // Latched while Zero, it travels as the last piece of the next complete set.
        {"latched while zero", none, kZero, none, "", {}, kSquare, "A 0.001/G 2/WAVE SQ/50R ON"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Panel p;
        if (c.row != none)
            p.row(c.row);
        p.wave(c.wave);
        p.sent();
        p.click("cmd50Ohm");
        if (c.laterRow != none)
            p.row(c.laterRow);
        EXPECT_EQ(p.sent(), c.sent);
        EXPECT_EQ(p.h.messages.shown, c.shown);
        const bool on = c.shown.empty();
        EXPECT_EQ(p.h.c("cmd50Ohm").latchValue, on ? 0 : 1);
        EXPECT_EQ(p.caption("cmd50Ohm"), on ? "50 Ohm ON" : "50 Ohm OFF");
        EXPECT_EQ(p.h.c("cmd50Ohm").back, on ? colors::yellow : colors::black);
        if (c.thenWave != none) {
            EXPECT_EQ(p.caption("lblMainDisplay"), "Output Zero");
            p.wave(c.thenWave);
            EXPECT_EQ(p.sent(), c.thenSent);
        }
    }
}

TEST(Amplitude, FiftyVoltsPerDivisionOffersUpToX4)
{
    Panel p;
    p.wave(kDc);
    p.graticule(4);
    p.sent();
    p.row(k50V);
    EXPECT_EQ(p.sent(), "A 50.0");  // the forced x4 sends nothing of its own
    EXPECT_TRUE(p.h.c("optGraticules", 2).value);
    EXPECT_EQ(p.h.c("optGraticules", 2).back, colors::red);
    EXPECT_EQ(p.h.c("optGraticules", 4).back, colors::buttonFace);
    EXPECT_FALSE(p.h.c("optGraticules", 3).visible);
    EXPECT_FALSE(p.h.c("optGraticules", 4).visible);
    EXPECT_EQ(p.caption("lblMainDisplay"), "50.0 V/div, 4 div");

    p.row(k20V);
    EXPECT_EQ(p.sent(), "A 20.0");
    EXPECT_TRUE(p.h.c("optGraticules", 2).value);
    EXPECT_TRUE(p.h.c("optGraticules", 3).visible);
    EXPECT_TRUE(p.h.c("optGraticules", 4).visible);

    // x1 stays on 50 V/div; before the output is set the complete set
    // carries the forced divisions.
    p.graticule(0);
    p.row(k50V);
    EXPECT_TRUE(p.h.c("optGraticules", 0).value);
    p.wave(kZero);
    p.row(k1mV);
    p.graticule(3);
    p.row(k50V);
    EXPECT_EQ(p.caption("lblMainDisplay"), "Output Zero");
    p.sent();
    p.wave(kDc);
    EXPECT_EQ(p.sent(), "A 50.0/G 4/WAVE DC/50R OFF");
}

TEST(Amplitude, DeviationStopsAtItsLimits)
{
    const struct {
        const char* name;
        std::vector<std::pair<const char*, int>> clicks;  // button, how many times
        const char* label;
        const char* amplitude;  // on 10 mV/div
    } cases[] = {
        {"up to the top", {{"cmdDevUpLarge", 100}}, "+9.99%", "A 0.010999"},
        {"back from the top", {{"cmdDevUpLarge", 100}, {"cmdDevDown", 1}}, "+9.98%", "A 0.010998"},
        {"down to the bottom", {{"cmdDevDownLarge", 100}}, "-9.99%", "A 0.009001"},
        // double arithmetic leaves 0.9999999999999999
        {"there and back", {{"cmdDevUpLarge", 3}, {"cmdDevDownLarge", 3}}, "-0.00%", "A 0.01"},
        {"zero button", {{"cmdDevUpLarge", 3}, {"cmdDevDownLarge", 3}, {"cmdDevZero", 1}}, " 0.00%", "A 0.01"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Panel p;
        p.row(k10mV);
        p.click("cmdDeviation");
        for (const auto& [button, times] : c.clicks)
            for (int i = 0; i < times; ++i)
                p.hold(button, 0);
        EXPECT_EQ(p.caption("lblDeviation"), c.label);
        EXPECT_EQ(p.sent(), "");  // waveform Zero: nothing reaches the instrument
        p.wave(kDc);
        EXPECT_EQ(p.sent(), QString(c.amplitude) + "/G 2/WAVE DC/50R OFF");
    }

    Panel p;
    p.row(k50V);
    p.wave(kDc);
    p.click("cmdDeviation");
    for (int i = 0; i < 100; ++i)
        p.hold("cmdDevUpLarge", 0);
    EXPECT_TRUE(p.sent().endsWith("/A 54.995"));
    p.row(k1mV);
    p.click("cmdDeviation");
    p.click("cmdDeviation");
    p.sent();
    p.hold("cmdDevUp", 0);
    EXPECT_EQ(p.sent(), "A 0.001");  // 1.0001 mV needs more than six decimals
}

TEST(Amplitude, HeldStepButtonRepeatsUntilReleased)
{
    Panel p;
    p.row(k10mV);
    p.wave(kDc);
    p.click("cmdDeviation");
    p.sent();

    // 1.2 s: ticks at 500 and 1000 ms, then the click of the release.
    p.hold("cmdDevUp", 2);
    EXPECT_EQ(p.sent(), "A 0.010001/A 0.010002/A 0.010003");
    EXPECT_FALSE(p.h.c("tmrRepeat").enabled);
    p.form().timerTick("tmrRepeat");
    EXPECT_EQ(p.sent(), "");

    // Another mouse button starts no repetition and makes no click.
    p.hold("cmdDevUp", 2, 2);
    EXPECT_EQ(p.sent(), "");
}

// A slow line lets the repeat timer fire while an amplitude is being sent:
// the step it takes is sent before the readouts show it.
TEST(Amplitude, AStepTakenWhileSendingIsSentBeforeItIsShown)
{
    const struct {
        const char* name;
        bool zeroFirst;
        std::function<void(Panel&)> change;  // the change whose send the tick meets
        const char* sent;
        const char* display;
    } cases[] = {
        {"tick during a tick", false, [](Panel& p) { p.form().timerTick("tmrRepeat"); },
         "A 0.010001/A 0.010002", "10.002 mV/div, 2 div"},
        {"tick during a divisions change", false, [](Panel& p) { p.graticule(3); },
         "G 6/A 0.010001", "10.001 mV/div, 6 div"},
        {"tick during the complete set", true, [](Panel& p) { p.wave(kDc); },
         "A 0.01/G 2/WAVE DC/50R OFF/A 0.010001", "10.001 mV/div, 2 div"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Panel p;
        p.row(k10mV);
        p.wave(c.zeroFirst ? kZero : kDc);
        p.click("cmdDeviation");
        p.press("cmdDevUp");
        p.sent();
        p.h.pauses.duringNextSleep = [&p] { p.form().timerTick("tmrRepeat"); };
        c.change(p);
        EXPECT_EQ(p.sent(), c.sent);
        EXPECT_EQ(p.caption("lblMainDisplay"), c.display);
    }
}

TEST(Amplitude, RepetitionStopsWhenTheButtonIsNoLongerHeld)
{
    const struct {
        const char* name;
        std::function<void(Panel&)> loseTheRelease;
    } cases[] = {
        {"release lost", [](Panel& p) { p.h.pointer.held.clear(); }},
        {"deviation switched off", [](Panel& p) { p.click("cmdDeviation"); }},
        {"another function", [](Panel& p) { p.form().operatorClick("optFunction", kFrequency); }},
        {"window deactivated", [](Panel& p) { p.h.window->Deactivated(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Panel p;
        p.wave(kDc);
        p.click("cmdDeviation");
        p.press("cmdDevDownLarge");
        p.form().timerTick("tmrRepeat");
        c.loseTheRelease(p);
        const double factor = p.h.window->state().DeviationFactor;
        p.sent();
        for (int i = 0; i < 3; ++i)
            p.form().timerTick("tmrRepeat");
        EXPECT_FALSE(p.h.c("tmrRepeat").enabled);
        EXPECT_EQ(p.sent(), "");
        EXPECT_EQ(p.h.window->state().DeviationFactor, factor);
    }
}

TEST(Amplitude, ReadoutsShowTheDeviatedSetting)
{
    const struct {
        int row, graticule, wave;
        const char* step;  // one click of this step button, if any
        const char* display;
        const char* peakToPeak;
        const char* waveform;
    } cases[] = {
        {k1mV, 1, kSquare, nullptr, "1.0 mV/div, 2 div", "2.0 mV Pk-Pk", "1 kHz Square Wave"},
        {k10mV, 4, kSquare, nullptr, "10.0 mV/div, 8 div", "80.0 mV Pk-Pk", "1 kHz Square Wave"},
        {k200mV, 3, kDc, nullptr, "200.0 mV/div, 6 div", "1.2 V", "DC"},
        {k5V, 2, kSquare, "cmdDevUp", "5.0005 V/div, 4 div", "20.002 V Pk-Pk", "1 kHz Square Wave"},
        {k50V, 2, kDc, nullptr, "50.0 V/div, 4 div", "200.0 V", "DC"},
        {k2mV, 0, kDc, "cmdDevDownLarge", "1.998 mV/div, 1 div", "1.998 mV", "DC"},
        {k1V, 0, kDc, "cmdDevDown", "999.9 mV/div, 1 div", "999.9 mV", "DC"},
        {k10V, 0, kDc, "cmdDevDown", "9.999 V/div, 1 div", "9.999 V", "DC"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.display);
        Panel p;
        p.row(c.row);
        p.graticule(c.graticule);
        p.wave(c.wave);
        if (c.step) {
            p.click("cmdDeviation");
            p.hold(c.step, 0);
        }
        EXPECT_EQ(p.caption("lblMainDisplay"), c.display);
        EXPECT_EQ(p.caption("lblVPeakPeak"), c.peakToPeak);
        EXPECT_EQ(p.caption("lblDutyCycleDisplay"), c.waveform);
        EXPECT_EQ(p.h.c("linHigh2").visible, true);
        EXPECT_EQ(p.h.c("linRise").visible, c.wave == kSquare);
    }
    NumberFormat comma;
    comma.decimalSeparator = ",";
    EXPECT_EQ(FormatVolts(0.0015, comma), "1,5 mV");
}

} // namespace

namespace {

// Whole settings one after another, from the panel just after start-up: the
// pieces an operator's clicks would send, and what the deviation method
// reads back.
TEST(AmplitudeSetting, WholeSettingsSendWhatTheClicksWould)
{
    Panel p;
    AmplitudePanel& panel = p.h.window->amplitudePanel();
    const struct {
        AmplitudeSetting setting;
        const char* step;  // a step button clicked after the setting, or null
        const char* sent;
        double lastSent;
    } cases[] = {
        {{0.1, 4, true, true, false}, nullptr, "A 0.1/G 4/WAVE DC/50R ON", 0.1},
        // 50 Ohm off before the range above its limit: no warning.
        {{0.5, 4, true, false, true}, "cmdDevUpLarge", "50R OFF/A 0.5/A 0.5/A 0.5005", 0.5005},
        // Back to nominal first, then only what differs.
        {{0.5, 8, false, false, true}, nullptr, "A 0.5/G 8/WAVE SQ", 0.5},
        {{50, 4, false, false, false}, nullptr, "A 50.0/A 50.0", 50},
    };
    for (const auto& c : cases) {
        p.h.journal.clear();
        EXPECT_TRUE(panel.ApplySetting(c.setting)) << c.sent;
        if (c.step)
            p.click(QString::fromLatin1(c.step));
        EXPECT_EQ(p.h.pieces().join(u'/').toStdString(), c.sent);
        EXPECT_DOUBLE_EQ(panel.LastVoltsPerDivisionSent(), c.lastSent) << c.sent;
        EXPECT_TRUE(panel.Holds(c.setting)) << c.sent;
    }
    EXPECT_TRUE(p.h.messages.shown.empty());
    // What the panel cannot set is refused before anything is sent.
    p.h.journal.clear();
    EXPECT_FALSE(panel.ApplySetting({50, 6, true, false, false}));
    EXPECT_FALSE(panel.ApplySetting({0.5, 2, true, true, false}));
    EXPECT_FALSE(panel.ApplySetting({0.003, 2, true, false, false}));
    EXPECT_TRUE(p.h.pieces().isEmpty());
}

} // namespace
