#include "app/test_fakes.h"

#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::testing;

namespace {

struct Key {
    int key;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
};
struct Click {
    const char* name;
    int index = kNoIndex;
};

// What the operator can see and what left the program.
std::string snapshot(Harness& h)
{
    QStringList out;
    for (const Control& c : h.window->form().controls())
        out << FormModel::key(c) + u'=' + c.caption + (c.visible ? u'+' : u'-') +
                   QString::number(c.latchValue);
    for (const MessageRequest& m : h.messages.shown)
        out << "box:" + m.title + ":" + m.text;
    out << h.journal.with("piece:") << h.journal.with("window:");
    return out.join(u'\n').toStdString();
}

// A started program on one function panel, prepared by clicks.
std::unique_ptr<Harness> prepared(int function, const std::vector<Click>& setup, const QString& riseTime)
{
    auto h = std::make_unique<Harness>();
    h->start();
    h->window->form().operatorClick("optFunction", function);
    for (const Click& c : setup)
        h->window->form().operatorClick(c.name, c.index);
    if (!riseTime.isEmpty())
        h->window->form().operatorEditText("txtRiseTime", kNoIndex, riseTime);
    h->journal.clear();
    h->messages.shown.clear();
    return h;
}

// Each row: keys typed on one panel, and the clicks that the operator would
// make for the same; both must leave the window and the channel alike.
TEST(Keyboard, KeysActAsTheirButtons)
{
    const Qt::KeyboardModifiers pad = Qt::KeypadModifier, shift = Qt::ShiftModifier, ctrl = Qt::ControlModifier;
    struct Case {
        const char* what;
        int function;
        std::vector<Click> setup;
        std::vector<Key> keys;
        std::vector<Click> clicks;
        KeyResult last = KeyResult::Done;
        QString riseTime = {};
        bool leavesAsBefore = false;  // the clicks, too, leave everything as it was
    };
    const Case cases[] = {
        {"frequency typed in Hz", kFrequency, {},
         {{Qt::Key_1}, {Qt::Key_2}, {Qt::Key_Period}, {Qt::Key_5}, {Qt::Key_H, shift}},
         {{"cmdFreqNumber", 1}, {"cmdFreqNumber", 2}, {"cmdFreqNumber", 21}, {"cmdFreqNumber", 5}, {"cmdFreqUnits", 0}}},
        {"numeric pad, comma, kHz", kFrequency, {},
         {{Qt::Key_3, pad}, {Qt::Key_Comma}, {Qt::Key_7, pad}, {Qt::Key_K}},
         {{"cmdFreqNumber", 3}, {"cmdFreqNumber", 21}, {"cmdFreqNumber", 7}, {"cmdFreqUnits", 1}}},
        {"out of range refused", kFrequency, {}, {{Qt::Key_9}, {Qt::Key_9}, {Qt::Key_9}, {Qt::Key_K}},
         {{"cmdFreqNumber", 9}, {"cmdFreqNumber", 9}, {"cmdFreqNumber", 9}, {"cmdFreqUnits", 1}}},
        {"backspace while typing", kFrequency, {}, {{Qt::Key_4}, {Qt::Key_2}, {Qt::Key_Backspace}},
         {{"cmdFreqNumber", 4}, {"cmdFreqNumber", 2}, {"cmdFreqClear"}}},
        {"backspace with a value shown does nothing", kFrequency, {}, {{Qt::Key_Backspace}}, {}},
        {"escape gives the entry up", kFrequency, {}, {{Qt::Key_4}, {Qt::Key_2}, {Qt::Key_Escape}},
         {{"cmdFreqNumber", 4}, {"cmdFreqNumber", 2}, {"cmdFreqClear"}, {"cmdFreqClear"}},
         KeyResult::Done, {}, true},
        {"escape with a value shown does nothing", kFrequency, {}, {{Qt::Key_Escape}}, {}},
        {"duty key", kFrequency, {{"cmdFreqNumber", 5}, {"cmdFreqUnits", 1}},
         {{Qt::Key_2}, {Qt::Key_5}, {Qt::Key_Percent, shift}},
         {{"cmdFreqNumber", 2}, {"cmdFreqNumber", 5}, {"cmdDutyCycle", 0}}},
        {"preset range: digits belong to the focus", kFrequency, {{"optFreqRange", 1}}, {{Qt::Key_5}}, {},
         KeyResult::Ignored},
        {"period in ms", kPeriod, {{"optPeriodRange", 1}},
         {{Qt::Key_2}, {Qt::Key_Period, pad}, {Qt::Key_5}, {Qt::Key_M}},
         {{"cmdPeriodNumber", 2}, {"cmdPeriodNumber", 10}, {"cmdPeriodNumber", 5}, {"cmdPeriodUnits", 1}}},
        {"period in us and s", kPeriod, {{"optPeriodRange", 1}},
         {{Qt::Key_8}, {Qt::Key_U}, {Qt::Key_1}, {Qt::Key_S}},
         {{"cmdPeriodNumber", 8}, {"cmdPeriodUnits", 0}, {"cmdPeriodNumber", 1}, {"cmdPeriodUnits", 2}}},
        {"period duty key, refused before a period", kPeriod, {{"optPeriodRange", 1}},
         {{Qt::Key_7}, {Qt::Key_Percent}}, {{"cmdPeriodNumber", 7}, {"cmdDutyCycle", 1}}},
        {"period preset range", kPeriod, {{"optPeriodRange", 0}}, {{Qt::Key_S}}, {}, KeyResult::Ignored},
        {"deviation steps", kAmplitude, {{"cmdDeviation"}},
         {{Qt::Key_Up}, {Qt::Key_Up}, {Qt::Key_PageDown}, {Qt::Key_Down}, {Qt::Key_PageUp}},
         {{"cmdDevUp"}, {"cmdDevUp"}, {"cmdDevDownLarge"}, {"cmdDevDown"}, {"cmdDevUpLarge"}}},
        {"deviation to zero", kAmplitude, {{"cmdDeviation"}, {"cmdDevUpLarge"}}, {{Qt::Key_Home}},
         {{"cmdDevZero"}}},
        {"deviation off: arrows belong to the list", kAmplitude, {}, {{Qt::Key_Up}}, {}, KeyResult::Ignored},
        {"enter calculates", kFastRise, {}, {{Qt::Key_Return}}, {{"cmdCalcRiseTime"}}, KeyResult::Done, "3.5"},
        {"pad enter calculates", kFastRise, {}, {{Qt::Key_Enter, pad}}, {{"cmdCalcRiseTime"}}, KeyResult::Done,
         "0.2"},
        {"function keys", kAmplitude, {}, {{Qt::Key_3, ctrl}, {Qt::Key_2, ctrl}, {Qt::Key_5, ctrl}},
         {{"optFunction", 2}, {"optFunction", 1}, {"optFunction", 4}}},
        {"setup has no keys of its own", kSetup, {}, {{Qt::Key_1}}, {}, KeyResult::Ignored},
        {"command log", kSetup, {}, {{Qt::Key_L, ctrl}}, {{"cmdCommandLog"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // One program at a time: the channel's log goes to the newest.
        auto typed = prepared(c.function, c.setup, c.riseTime);
        const std::string before = snapshot(*typed);
        KeyResult result = KeyResult::Ignored;
        for (const Key& k : c.keys)
            result = typed->window->KeyPressed(k.key, k.modifiers);
        const std::string afterKeys = snapshot(*typed);
        typed.reset();
        auto clicked = prepared(c.function, c.setup, c.riseTime);
        for (const Click& k : c.clicks)
            clicked->window->form().operatorClick(k.name, k.index);
        EXPECT_EQ(result, c.last);
        EXPECT_EQ(afterKeys, snapshot(*clicked));
        if (c.clicks.empty() || c.leavesAsBefore) {
            EXPECT_EQ(afterKeys, before);
        } else {
            EXPECT_NE(afterKeys, before);
        }
    }
}

TEST(Keyboard, WindowKeysOpenTheOtherWindowsUnlessBusy)
{
    auto h = prepared(kFrequency, {}, {});
    EXPECT_EQ(h->window->KeyPressed(Qt::Key_F1, Qt::NoModifier), KeyResult::Done);
    EXPECT_EQ(h->window->KeyPressed(Qt::Key_L, Qt::ControlModifier), KeyResult::Done);
    EXPECT_EQ(h->window->KeyPressed(Qt::Key_O, Qt::ControlModifier), KeyResult::Done);
    EXPECT_EQ(h->journal.with("window:"), QStringList({"guide", "command log", "procedure"}));
    h->journal.clear();
    const std::string before = snapshot(*h);
    h->window->form().window().enabled = false;
    EXPECT_EQ(h->window->KeyPressed(Qt::Key_5, Qt::NoModifier), KeyResult::Done);
    EXPECT_EQ(h->window->KeyPressed(Qt::Key_F1, Qt::NoModifier), KeyResult::Done);
    EXPECT_EQ(snapshot(*h), before);
}

TEST(Keyboard, UnitKeysNameTheirKeys)
{
    Harness h;
    EXPECT_EQ(h.c("cmdFreqUnits", 0).toolTip, "Hz (H)");
    EXPECT_EQ(h.c("cmdFreqUnits", 1).toolTip, "kHz (K)");
    EXPECT_EQ(h.c("cmdPeriodUnits", 0).toolTip, "\u00b5s (U)");
    EXPECT_EQ(h.c("cmdPeriodUnits", 2).toolTip, "s (S)");
    EXPECT_EQ(h.c("cmdDutyCycle", 1).toolTip, "% Duty Cycle (%)");
}

} // namespace
