#include "app/test_fakes.h"
#include "timing/frequency_panel.h"
#include "timing/period_panel.h"
#include "timing/timer_model.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace tarn;
using namespace tarn::testing;

namespace {

const QString kFrequencyRefusal =
    "The frequency specified is invalid.\r\rThe frequency must lie between 0.1 Hz and 200 kHz.";
const QString kPeriodRefusal =
    "The period specified is invalid.\r\rThe period must lie between 6 us and 15 s.";
const QString kDutyRefusal =
    "The duty cycle specified is invalid.\r\rThe duty cycle must lie between 0.0001 % and 99.9999 %.";
const QString kDutyFirst = "You must set the frequency/period first.";
const QString kFrequencyQuestion =
    "It is not possible to achieve this frequency exactly.\r\r"
    "Would you like to use the closest available frequency?";
const QString kPeriodQuestion =
    "It is not possible to achieve this period exactly.\r\r"
    "Would you like to round to the nearest microsecond?";
const QString kDutyWarning =
    "Warning: The duty cycle requested is not available.\r\rClosest possible duty cycle selected.";

// The started program in the frequency or the period function, with the
// journal and the messages of getting there cleared.
struct Timing : Harness {
    explicit Timing(int function, QString separator = ".")
    {
        numbers.format.decimalSeparator = separator;
        start();
        window->form().operatorClick("optFunction", function);
        period = function == kPeriod;
        journal.clear();
        messages.shown.clear();
    }

    // Presses keys on the shown keypad: digits, "." the decimal key, "C"
    // clear, "D" the duty key; "H" and "K" the frequency units, "u", "m"
    // and "s" the period units.
    void press(const QString& keys)
    {
        FormModel& form = window->form();
        const QString digits = period ? "cmdPeriodNumber" : "cmdFreqNumber";
        for (QChar k : keys) {
            if (k.isDigit())
                form.operatorClick(digits, k.digitValue());
            else if (k == '.')
                form.operatorClick(digits, period ? 10 : 21);
            else if (k == 'C')
                form.operatorClick(period ? "cmdPeriodClear" : "cmdFreqClear");
            else if (k == 'D')
                form.operatorClick("cmdDutyCycle", period ? 1 : 0);
            else if (period)
                form.operatorClick("cmdPeriodUnits", QString("ums").indexOf(k));
            else
                form.operatorClick("cmdFreqUnits", QString("HK").indexOf(k));
        }
    }
    // Types an entry directly into the display, as the keys would.
    void type(const QString& entry, QChar unit)
    {
        press("0");
        c("lblMainDisplay").caption = entry;
        press(unit);
    }
    QString display() { return c("lblMainDisplay").caption; }
    QString duty() { return c("lblDutyCycleDisplay").caption; }
    QStringList titles() const
    {
        QStringList out;
        for (const MessageRequest& m : messages.shown)
            out << m.title;
        return out;
    }
    // The messages and command pieces in the order they came.
    QStringList trail() const
    {
        QStringList out;
        for (const QString& e : journal.entries())
            if (e.startsWith("message:") || e.startsWith("piece:"))
                out << e;
        return out;
    }
    bool period = false;
};

TEST(TimerModel, SplitsThePeriodIntoHighAndLowMicroseconds)
{
    struct Case {
        double period, duty;
        int high, low;
        QString achieved;
    };
    const Case cases[] = {
        {0.000005, 50, 3, 2, "60.0"},         // 200 kHz: only 40 % or 60 %
        {0.000005, 0.0001, 2, 3, "40.0"},
        {1.0 / 170000, 50, 3, 3, "50.0"},    // 5.88 us rounds to 6
        {0.0000154, 50, 8, 7, "53.33"},
        {1.0 / 3, 50, 166667, 166666, "50.0"},
        {0.0001, 25, 25, 75, "25.0"},
        {0.0001, 33.3, 33, 67, "33.0"},
        {0.0001, 12.5, 13, 87, "13.0"},      // halves up
        {0.0001, 0.0001, 2, 98, "2.0"},
        {0.0001, 99.9999, 98, 2, "98.0"},
        {0.01, 12.34, 1234, 8766, "12.34"},
        {15, 50, 7500000, 7500000, "50.0"},
        {15, 10, 6611391, 8388609, "44.08"}, // the low time is kept within the limit
        {15, 90, 8388609, 6611391, "55.92"},
        {10, 0.0001, 1611391, 8388609, "16.11"},
    };
    for (const Case& c : cases) {
        const TimerSplit s = SplitPeriod(c.period, c.duty);
        SCOPED_TRACE(::testing::Message() << c.period << " s at " << c.duty << " %");
        EXPECT_EQ(s.high, c.high);
        EXPECT_EQ(s.low, c.low);
        EXPECT_EQ(s.achievedPeriod, s.period);
        EXPECT_EQ(formatNumber(s.duty, u"0.0#", NumberFormat::invariant()), c.achieved);
    }
}

TEST(TimerModel, DisplayTextsOfFrequenciesAndPeriods)
{
    NumberFormat comma;
    comma.decimalSeparator = ",";
    struct Case {
        double value;
        QString text;
    };
    const Case frequencies[] = {
        {0.1, "0.1 Hz"},         {0.5, "0.5 Hz"},          {0.123456, "0.12346 Hz"},
        {3.000003, "3.0 Hz"},    {100, "100.0 Hz"},        {999.99999, "1000.0 Hz"},
        {10000, "10.0 kHz"},     {1 / 0.000006, "166.6667 kHz"},
        {200000, "200 kHz"},     {500000, "500 kHz"},      {100000000, "100 MHz"},
    };
    for (const Case& c : frequencies)
        EXPECT_EQ(FormatFrequency(c.value, NumberFormat::invariant()), c.text) << c.value;
    const Case periods[] = {
        {0.00000001, "10 ns"},   {0.0000005, "500 ns"},    {0.000005, "5 \u00b5s"},
        {0.0001, "100 \u00b5s"}, {0.0015, "1.5 ms"},        {0.01, "10.0 ms"},
        {0.5, "500.0 ms"},       {0.333333, "333.333 ms"}, {1, "1.0 s"},
        {15, "15.0 s"},          {1.2345678, "1.234568 s"},
    };
    for (const Case& c : periods)
        EXPECT_EQ(FormatPeriod(c.value, NumberFormat::invariant()), c.text) << c.value;
    EXPECT_EQ(FormatFrequency(10000, comma), "10,0 kHz");
    EXPECT_EQ(FormatPeriod(0.0015, comma), "1,5 ms");
}

TEST(Timing, EnteringEachFunctionShowsItsFirstValueAtHalfDuty)
{
    struct Case {
        int function;
        QString display, shownFrame, hiddenFrame, range;
        int redRange;
        bool arrow;
    };
    const Case cases[] = {
        {kFrequency, "10.0 kHz", "fraLowFreq", "fraHighFreq", "optFreqRange", 0, false},
        {kPeriod, "100 \u00b5s", "fraHighPeriod", "fraLowPeriod", "optPeriodRange", 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.range.toStdString());
        Timing t(c.function);
        EXPECT_EQ(t.display(), c.display);
        EXPECT_EQ(t.duty(), "Duty Cycle: 50.0%");
        EXPECT_TRUE(t.window->state().OutputSet);
        EXPECT_DOUBLE_EQ(t.window->state().CurrentPeriod, 0.0001);
        EXPECT_TRUE(t.c(c.shownFrame).visible);
        EXPECT_FALSE(t.c(c.hiddenFrame).visible);
        EXPECT_EQ(t.c(c.range, c.redRange).back, colors::red);
        EXPECT_EQ(t.c(c.range, 1 - c.redRange).back, colors::buttonFace);
        EXPECT_TRUE(t.c("linRise").visible);
        EXPECT_EQ(t.c("imgArrow").visible, c.arrow);
        // The start value goes to the calibrator too; function selection
        // may run the range click twice, and the same setting twice is harmless.
        t.window->form().operatorClick("optFunction", kAmplitude);
        t.journal.clear();
        t.window->form().operatorClick("optFunction", c.function);
        const QStringList start = c.function == kPeriod ? QStringList({"P 0.0001", "D 50.0"})
                                                        : QStringList({"F 10000.0", "D 50.0"});
        const QStringList sent = t.pieces();
        ASSERT_FALSE(sent.isEmpty());
        for (int i = 0; i < sent.size(); i += 2)
            EXPECT_EQ(sent.mid(i, 2), start);
    }
}

// A typed entry with its unit key, the answer to a question, and what follows;
// an empty display means the committed value is kept.
TEST(Timing, TypedEntriesWithinLimitsQuestionsAndRefusals)
{
    struct Case {
        int function;
        QString entry;
        QChar unit;
        MessageResult answer;
        QString display, duty;
        QStringList titles;
        QString firstText;  // text of the first message, when it is checked
        QString sent = {};  // the command text sent, empty when nothing is
    };
    const MessageResult yes = MessageResult::Yes, no = MessageResult::No, ok = MessageResult::Ok;
    const int f = kFrequency, p = kPeriod;
    const QString half = "Duty Cycle: 50.0%", range = "Out of range";
    const Case cases[] = {
        {f, "0.1", 'H', ok, "0.1 Hz", half, {}, {}, "F 0.1/D 50.0"},
        {f, "100", 'H', ok, "100.0 Hz", half, {}, {}, "F 100.0/D 50.0"},
        {f, "200", 'K', ok, "200 kHz", "Duty Cycle: 60.0%", {"Warning"}, kDutyWarning, "F 200000.0/D 60.0"},
        {f, "0.09", 'H', ok, {}, half, {range}, kFrequencyRefusal},
        {f, "200.001", 'K', ok, {}, half, {range}, kFrequencyRefusal},
        {f, "0", 'H', ok, {}, half, {range}, kFrequencyRefusal},
        {f, "170", 'K', yes, "166.6667 kHz", half, {"Frequency Problem"}, kFrequencyQuestion, "F 166666.666667/D 50.0"},
        {f, "170", 'K', no, {}, half, {"Frequency Problem"}, kFrequencyQuestion},
        {f, "3", 'H', yes, "3.0 Hz", half, {"Frequency Problem", "Warning"}, {}, "F 3.000003/D 50.0002"},
        {f, "0.25", 'H', yes, "0.25 Hz", half, {"Frequency Problem"}, {}, "F 0.25/D 50.0"},
        {f, "0.25", 'H', no, {}, half, {"Frequency Problem"}, {}},
        // Entries that cannot be read as a number.
        {f, ".", 'H', ok, {}, half, {range}, kFrequencyRefusal},
        {f, "1..2", 'K', ok, {}, half, {range}, kFrequencyRefusal},
        {f, "1.2.3", 'H', ok, {}, half, {range}, kFrequencyRefusal},
        {f, QString(1000, '9'), 'H', ok, {}, half, {range}, kFrequencyRefusal},
        {f, "0." + QString(1000, '0') + "1", 'H', ok, {}, half, {range}, {}},
        {p, "6", 'u', ok, "6 \u00b5s", half, {}, {}, "P 0.000006/D 50.0"},
        {p, "15", 's', ok, "15.0 s", half, {}, {}, "P 15.0/D 50.0"},
        {p, "10", 'm', ok, "10.0 ms", half, {}, {}, "P 0.01/D 50.0"},
        {p, "1.5", 'm', ok, "1.5 ms", half, {}, {}, "P 0.0015/D 50.0"},
        {p, "5.9", 'u', ok, {}, half, {range}, kPeriodRefusal},
        {p, "15.1", 's', ok, {}, half, {range}, kPeriodRefusal},
        {p, "15.4", 'u', yes, "15 \u00b5s", "Duty Cycle: 53.33%", {"Period Problem", "Warning"},
         kPeriodQuestion, "P 0.000015/D 53.3333"},
        {p, "15.4", 'u', no, {}, half, {"Period Problem"}, kPeriodQuestion},
        {p, "9", 'u', ok, "9 \u00b5s", "Duty Cycle: 55.56%", {"Warning"}, {}, "P 0.000009/D 55.5556"},
        {p, "..", 's', ok, {}, half, {range}, kPeriodRefusal},
        {p, "1e3", 'u', ok, {}, half, {range}, kPeriodRefusal},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.entry + " " + c.unit).toStdString());
        Timing t(c.function);
        const WindowState before = t.window->state();
        t.messages.answers = {c.answer};
        t.type(c.entry, c.unit);
        const QString kept = c.function == kPeriod ? "100 \u00b5s" : "10.0 kHz";
        EXPECT_EQ(t.display(), c.display.isEmpty() ? kept : c.display);
        EXPECT_EQ(t.duty(), c.duty);
        // The question comes before anything is sent, the warning after.
        QStringList trail;
        for (const QString& title : c.titles)
            if (title.endsWith("Problem"))
                trail << "message:" + title;
        for (const QString& piece : c.sent.split('/', Qt::SkipEmptyParts))
            trail << "piece:" + piece;
        for (const QString& title : c.titles)
            if (!title.endsWith("Problem"))
                trail << "message:" + title;
        EXPECT_EQ(t.trail(), trail);
        if (!c.firstText.isEmpty() && !t.messages.shown.empty()) {
            EXPECT_EQ(t.messages.shown[0].text, c.firstText);
        }
        EXPECT_TRUE(t.window->state().DisplayShowsValue);
        if (c.titles.value(0) == range || c.answer == no) {
            EXPECT_EQ(t.window->state().CurrentPeriod, before.CurrentPeriod);
        }
        EXPECT_EQ(t.window->state().DutyCycle, 50);
    }
}

TEST(Keypad, KeyAndClearSequences)
{
    struct Case {
        int function;
        QString keys;
        QString display;
        bool showsValue;
        QStringList pieces;
    };
    const Case cases[] = {
        {kFrequency, "12", "12", false, {}},
        {kFrequency, "1.2.", "1.2.", false, {}},       // no check while typing
        {kFrequency, "12C", "1", false, {}},
        {kFrequency, "1C", "10.0 kHz", true, {}},       // back to the committed value
        {kFrequency, "1CC", "Output Zero", true, {"OFF"}},
        {kFrequency, "C", "Output Zero", true, {"OFF"}},
        {kFrequency, "H", "10.0 kHz", true, {}},        // no entry: unit key ignored
        {kFrequency, "D", "10.0 kHz", true, {}},
        {kFrequency, "5K", "5.0 kHz", true, {"F 5000.0", "D 50.0"}},
        {kFrequency, "5K7", "7", false, {"F 5000.0", "D 50.0"}},  // a new entry replaces the value
        {kPeriod, "25C3", "23", false, {}},
        {kPeriod, "2CC", "Output Zero", true, {"OFF"}},
        {kPeriod, "s", "100 \u00b5s", true, {}},
        {kPeriod, "1ms", "1.0 ms", true, {"P 0.001", "D 50.0"}},  // "s" after the entry does nothing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys.toStdString());
        Timing t(c.function);
        t.press(c.keys);
        EXPECT_EQ(t.display(), c.display);
        EXPECT_EQ(t.window->state().DisplayShowsValue, c.showsValue);
        EXPECT_EQ(t.pieces(), c.pieces);
        EXPECT_TRUE(t.messages.shown.empty());
    }
}

TEST(Keypad, DecimalKeyAndEntriesFollowTheOperatorsFormat)
{
    Timing t(kFrequency, ",");
    EXPECT_EQ(t.display(), "10,0 kHz");
    t.press("2.5K");
    EXPECT_EQ(t.display(), "2,5 kHz");
    EXPECT_TRUE(t.messages.shown.empty());

    // A "." typed under a "," format is not a number.
    t.type("1.5", 'K');
    EXPECT_EQ(t.titles(), QStringList({"Out of range"}));
    EXPECT_EQ(t.messages.shown[0].text,
              "The frequency specified is invalid.\r\rThe frequency must lie between 0,1 Hz and 200 kHz.");
    EXPECT_EQ(t.display(), "2,5 kHz");
}

TEST(DutyCycle, EntriesOnBothKeypads)
{
    struct Case {
        int function;
        QString setup;  // keys that set the period first
        QString entry;
        QString display, duty;
        QStringList titles;
        double requested;  // DutyCycle afterwards
        QString sent = {};  // the command text of the duty key, empty when refused
    };
    const Case cases[] = {
        {kPeriod, "", "25", "100 \u00b5s", "Duty Cycle: 25.0%", {}, 25, "P 0.0001/D 25.0"},
        {kPeriod, "", "33.3", "100 \u00b5s", "Duty Cycle: 33.0%", {"Warning"}, 33.3, "P 0.0001/D 33.0"},
        {kPeriod, "", "0.0001", "100 \u00b5s", "Duty Cycle: 2.0%", {"Warning"}, 0.0001, "P 0.0001/D 2.0"},
        {kPeriod, "", "99.9999", "100 \u00b5s", "Duty Cycle: 98.0%", {"Warning"}, 99.9999, "P 0.0001/D 98.0"},
        {kPeriod, "", "0", "100 \u00b5s", "Duty Cycle: 50.0%", {"Out of range"}, 50},
        {kPeriod, "", "100", "100 \u00b5s", "Duty Cycle: 50.0%", {"Out of range"}, 50},
        {kPeriod, "", "..", "100 \u00b5s", "Duty Cycle: 50.0%", {"Out of range"}, 50},
        {kPeriod, "15s", "10", "15.0 s", "Duty Cycle: 44.08%", {"Warning"}, 10, "P 15.0/D 44.0759"},
        {kPeriod, "15s", "90", "15.0 s", "Duty Cycle: 55.92%", {"Warning"}, 90, "P 15.0/D 55.9241"},
        {kPeriod, "10m", "12.34", "10.0 ms", "Duty Cycle: 12.34%", {}, 12.34, "P 0.01/D 12.34"},
        {kFrequency, "", "25", "10.0 kHz", "Duty Cycle: 25.0%", {}, 25, "F 10000.0/D 25.0"},
        {kFrequency, "200K", "40", "200 kHz", "Duty Cycle: 40.0%", {}, 40, "F 200000.0/D 40.0"},
        {kFrequency, "200K", "45", "200 kHz", "Duty Cycle: 40.0%", {"Warning"}, 45, "F 200000.0/D 40.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.setup + " " + c.entry).toStdString());
        Timing t(c.function);
        t.press(c.setup);
        t.messages.shown.clear();
        t.journal.clear();
        t.press(c.entry + "D");
        EXPECT_EQ(t.display(), c.display);
        EXPECT_EQ(t.duty(), c.duty);
        EXPECT_EQ(t.titles(), c.titles);
        if (c.titles == QStringList({"Out of range"})) {
            EXPECT_EQ(t.messages.shown[0].text, kDutyRefusal);
        }
        EXPECT_EQ(t.window->state().DutyCycle, c.requested);
        EXPECT_TRUE(t.window->state().OutputSet);
        EXPECT_EQ(t.c("imgArrow").visible, c.function == kPeriod);
        EXPECT_EQ(t.pieces().join('/'), c.sent);
    }
}

TEST(DutyCycle, RequestIsKeptAndTriedAgainAtTheNextPeriod)
{
    Timing t(kPeriod);
    t.press("33.3D");
    EXPECT_EQ(t.titles(), QStringList({"Warning"}));
    t.messages.shown.clear();
    t.press("10m");  // 10 ms makes 33.3 % exactly
    EXPECT_EQ(t.duty(), "Duty Cycle: 33.3%");
    EXPECT_TRUE(t.messages.shown.empty());
    t.press("7u");
    EXPECT_EQ(t.duty(), "Duty Cycle: 28.57%");
    EXPECT_EQ(t.titles(), QStringList({"Warning"}));
    EXPECT_EQ(t.window->state().DutyCycle, 33.3);

    // Clear on a committed value zeroes the output; the duty key then
    // needs a new setting.
    t.messages.shown.clear();
    t.journal.clear();
    t.press("C25D");
    EXPECT_EQ(t.titles(), QStringList({"Out of range"}));
    EXPECT_EQ(t.messages.shown[0].text, kDutyFirst);
    EXPECT_EQ(t.display(), "Output Zero");
    EXPECT_EQ(t.pieces(), QStringList({"OFF"}));

    // A range change asks for 50 % again.
    t.window->form().operatorClick("optPeriodRange", 0);
    t.window->form().operatorClick("optPeriodRange", 1);
    EXPECT_EQ(t.window->state().DutyCycle, 50);
    EXPECT_EQ(t.duty(), "Duty Cycle: 50.0%");
}

TEST(Presets, SendTheirCommandAndShowTheirValue)
{
    struct Case {
        int function;
        const char* button;
        QString command, display;
    };
    const Case cases[] = {
        {kFrequency, "cmd100MHz", "F 100000000", "100 MHz"},
        {kFrequency, "cmd50MHz", "F 50000000", "50 MHz"},
        {kFrequency, "cmd20MHz", "F 20000000", "20 MHz"},
        {kFrequency, "cmd10MHz", "F 10000000", "10 MHz"},
        {kFrequency, "cmd5MHz", "F 5000000", "5 MHz"},
        {kFrequency, "cmd2MHz", "F 2000000", "2 MHz"},
        {kFrequency, "cmd1MHz", "F 1000000", "1 MHz"},
        {kFrequency, "cmd500kHz", "F 500000", "500 kHz"},
        {kFrequency, "cmd200kHz", "F 200000", "200 kHz"},
        {kPeriod, "cmd5us", "P 0.000005", "5 \u00b5s"},
        {kPeriod, "cmd2us", "P 0.000002", "2 \u00b5s"},
        {kPeriod, "cmd1us", "P 0.000001", "1 \u00b5s"},
        {kPeriod, "cmd500ns", "P 0.0000005", "500 ns"},
        {kPeriod, "cmd200ns", "P 0.0000002", "200 ns"},
        {kPeriod, "cmd100ns", "P 0.0000001", "100 ns"},
        {kPeriod, "cmd50ns", "P 0.00000005", "50 ns"},
        {kPeriod, "cmd20ns", "P 0.00000002", "20 ns"},
        {kPeriod, "cmd10ns", "P 0.00000001", "10 ns"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        Timing t(c.function);
        if (c.function == kFrequency)
            t.window->form().operatorClick("optFreqRange", 1);
        else
            t.window->form().operatorClick("optPeriodRange", 0);
        t.journal.clear();
        t.c("lblDutyCycleDisplay").caption = "Duty Cycle: 50.0%";
        t.window->DrawWaveform(50, false, true);
        t.window->state().OutputSet = true;
        t.window->state().DutyCycle = 33;
        t.window->form().operatorClick(c.button);
        EXPECT_EQ(t.pieces(), QStringList({c.command}));
        EXPECT_EQ(t.display(), c.display);
        EXPECT_EQ(t.duty(), "");
        EXPECT_FALSE(t.c("linRise").visible);
        EXPECT_FALSE(t.c("imgArrow").visible);
        EXPECT_FALSE(t.window->state().OutputSet);
        EXPECT_EQ(t.window->state().DutyCycle, 33);
    }
}

TEST(Presets, RangeChangesShowTheirFrameAndFirstValue)
{
    struct Case {
        int function;
        QString option;
        int index;
        QString shown, hidden;
        QStringList pieces;
        QString display;
    };
    const Case cases[] = {
        {kFrequency, "optFreqRange", 1, "fraHighFreq", "fraLowFreq", {"F 200000"}, "200 kHz"},
        {kPeriod, "optPeriodRange", 0, "fraLowPeriod", "fraHighPeriod", {"P 0.000005"}, "5 \u00b5s"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option.toStdString());
        Timing t(c.function);
        t.press("12");  // an entry in progress is dropped
        t.window->form().operatorClick(c.option, c.index);
        EXPECT_EQ(t.pieces(), c.pieces);
        EXPECT_EQ(t.display(), c.display);
        EXPECT_TRUE(t.window->state().DisplayShowsValue);
        EXPECT_TRUE(t.c(c.shown).visible);
        EXPECT_FALSE(t.c(c.hidden).visible);
        EXPECT_EQ(t.c(c.option, c.index).back, colors::red);
        EXPECT_EQ(t.c(c.option, 1 - c.index).back, colors::buttonFace);
        // The duty key (hidden with its keypad) needs a typed setting.
        t.window->state().DisplayShowsValue = false;
        t.window->timerModel().DutyKey(c.function == kPeriod ? 1 : 0);
        EXPECT_EQ(t.titles(), QStringList({"Out of range"}));
        EXPECT_EQ(t.messages.shown.at(0).text, kDutyFirst);

        // Back to the typed range: its first value at 50 %, sent.
        t.journal.clear();
        t.window->state().DutyCycle = 25;
        t.window->form().operatorClick(c.option, 1 - c.index);
        EXPECT_EQ(t.pieces(), c.function == kPeriod ? QStringList({"P 0.0001", "D 50.0"})
                                                     : QStringList({"F 10000.0", "D 50.0"}));
        EXPECT_EQ(t.display(), c.function == kPeriod ? "100 \u00b5s" : "10.0 kHz");
        EXPECT_EQ(t.duty(), "Duty Cycle: 50.0%");
        EXPECT_TRUE(t.window->state().OutputSet);
        EXPECT_TRUE(t.c(c.hidden).visible);
        EXPECT_FALSE(t.c(c.shown).visible);
        EXPECT_EQ(t.c(c.option, 1 - c.index).back, colors::red);
        EXPECT_EQ(t.c(c.option, c.index).back, colors::buttonFace);
    }
}

TEST(Exactness, FrequenciesAndPeriodsTheTimerMakesExactly)
{
    for (double f : {0.1, 0.2, 1.0, 10000.0, 200000.0, 125000.0})
        EXPECT_TRUE(FrequencyPanel::IsExactFrequency(f)) << f;
    for (double f : {0.25, 3.0, 170000.0, 0.3, 7.0})
        EXPECT_FALSE(FrequencyPanel::IsExactFrequency(f)) << f;
    for (double p : {0.000006, 0.0001, 0.01, 15.0, 1.234567})
        EXPECT_TRUE(PeriodPanel::IsExactPeriod(p)) << p;
    for (double p : {0.0000154, 0.0000065, 1.0 / 3})
        EXPECT_FALSE(PeriodPanel::IsExactPeriod(p)) << p;
}

} // namespace

namespace {

// A whole setting as a procedure asks for it, one after another on the
// function: a preset through its range and button, any other value as an
// entry on the typed range.
TEST(TimingSetting, PresetOrTypedRangeChosenByTheValue)
{
    Harness h;
    h.start();
    const struct {
        int function;
        double value;
        const char* sent;
    } cases[] = {
        {kFrequency, 1e6, "F 200000/F 1000000"},
        {kFrequency, 100e6, "F 100000000"},
        {kFrequency, 1000, "F 10000.0/D 50.0/F 1000.0/D 50.0"},
        {kPeriod, 1e-8, "P 0.000005/P 0.00000001"},
        {kPeriod, 0.001, "P 0.0001/D 50.0/P 0.001/D 50.0"},
    };
    for (const auto& c : cases) {
        if (!h.c("optFunction", c.function).value)
            h.window->form().operatorClick("optFunction", c.function);
        h.journal.clear();
        TimingPanel& panel = c.function == kFrequency ? static_cast<TimingPanel&>(h.window->frequencyPanel())
                                                      : h.window->periodPanel();
        panel.ApplySetting(c.value);
        EXPECT_EQ(h.pieces().join(u'/').toStdString(), c.sent);
    }
    EXPECT_TRUE(h.messages.shown.empty());
}

} // namespace
