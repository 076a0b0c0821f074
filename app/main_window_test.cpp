#include "app/test_fakes.h"

#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::testing;

namespace {

const QString kFullTitle = "Corvane Tarn Scope & Timer-Counter Calibrator DEMO  V2.1.0";

QList<int> visiblePanels(Harness& h)
{
    QList<int> out;
    for (int id : h.window->form().group("fraFunction"))
        if (h.window->form().at(id).visible)
            out << h.window->form().at(id).index;
    return out;
}

} // namespace

TEST(StartUp, LoadingSendsNothingAndSetsTheDemoTitle)
{
    Harness h;
    h.window->Load();
    EXPECT_TRUE(h.pieces().isEmpty());
    EXPECT_TRUE(h.sleeps().isEmpty());
    EXPECT_EQ(h.window->form().window().caption, "Corvane Tarn Scope & Timer-Counter Calibrator DEMO");
    EXPECT_FALSE(h.window->state().SuppressSend);
    EXPECT_EQ(h.window->state().SettingsFilePath, kSettingsPath);
    EXPECT_TRUE(h.c("optFunction", 0).value);
    EXPECT_EQ(visiblePanels(h), QList<int>({0}));
    EXPECT_EQ(h.c("cboSerialPort").listText(), "1");
}

TEST(StartUp, InitialisingShowsProgressPausesThenSelectsAmplitude)
{
    Harness h;
    h.window->Load();
    h.journal.clear();
    h.window->Activated();

    // Busy from the first step; the text and the full title are painted
    // before the 2000 ms pause; the only command is the Output Zero "OFF".
    const QStringList& j = h.journal.entries();
    ASSERT_GE(j.size(), 4);
    EXPECT_EQ(j[0], "pointer:wait");
    const qsizetype pause = j.indexOf("sleep:2000");
    ASSERT_GE(pause, 0);
    EXPECT_EQ(j.mid(pause + 1, 5),
              QStringList({"pointer:wait", "events", "piece:OFF", "sleep:50", "pointer:default"}));
    EXPECT_EQ(h.pieces(), QStringList({"OFF"}));
    EXPECT_EQ(h.sleeps(), QStringList({"2000", "50"}));
    EXPECT_TRUE(h.busy.titlesSeen.contains(kFullTitle));
    EXPECT_EQ(j.last(), "events");
    EXPECT_FALSE(h.busy.wait);
    EXPECT_TRUE(h.window->form().window().enabled);

    EXPECT_EQ(h.window->form().window().caption, kFullTitle);
    EXPECT_EQ(visiblePanels(h), QList<int>({0}));
    EXPECT_EQ(h.c("lblMainDisplay").caption, "Output Zero");
    EXPECT_EQ(h.c("lblDutyCycleDisplay").caption, "Zero");
    EXPECT_EQ(h.c("lblVPeakPeak").caption, "");
    EXPECT_TRUE(h.c("linX").visible);
    EXPECT_TRUE(h.c("linLow").visible);
    EXPECT_FALSE(h.c("linRise").visible);
    EXPECT_FALSE(h.c("imgArrow").visible);
    EXPECT_FALSE(h.c("lblDeviceError").visible);
}

TEST(StartUp, InitialisingShowsInitialisingBeforeThePause)
{
    // What the display and the window look like while the 2000 ms pass.
    struct Probe final : Pauses {
        MainWindow* w = nullptr;
        QString seen;
        void sleep(int ms) override
        {
            if (ms == 2000)
                seen = w->form()("lblMainDisplay").caption + "|" + (w->form().window().enabled ? "on" : "off");
        }
    } probe;
    Harness h;
    Services s = h.window->services();
    s.pauses = &probe;
    MainWindow w(s);
    probe.w = &w;
    w.Load();
    w.Activated();
    EXPECT_EQ(probe.seen, "Initialising...|off");
}

TEST(StartUp, RunsOnceHoweverOftenTheWindowIsActivated)
{
    Harness h;
    h.start();
    h.window->form().operatorClick("optFunction", kFrequency);
    h.journal.clear();
    h.window->Activated();  // e.g. back from a message box
    h.window->Activated();
    EXPECT_TRUE(h.journal.entries().isEmpty());
    EXPECT_EQ(h.window->form().window().caption, kFullTitle);
    EXPECT_EQ(visiblePanels(h), QList<int>({kFrequency}));
}

TEST(StartUp, DecimalKeysShowTheOperatorsSeparator)
{
    for (const QString& sep : {QString("."), QString(","), QString::fromUtf16(u"\u066B")}) {
        Harness h;
        h.numbers.format.decimalSeparator = sep;
        h.start();
        EXPECT_EQ(h.c("cmdFreqNumber", 21).caption, sep);
        EXPECT_EQ(h.c("cmdPeriodNumber", 10).caption, sep);
    }
}

TEST(StartUp, SeparatorIsWhatLiesBetweenTheZeros)
{
    EXPECT_EQ(MainWindow::decimalSeparatorOf("0.0"), ".");
    EXPECT_EQ(MainWindow::decimalSeparatorOf(QString::fromUtf16(u"\u0660\u066B\u0660")), QString::fromUtf16(u"\u066B"));
    EXPECT_EQ(MainWindow::decimalSeparatorOf(QString::fromUtf16(u"\U0001D7CE,\U0001D7CE")), ",");
}

TEST(StartUp, SettingsPathIsPlainConcatenation)
{
    Harness h;
    Services s = h.window->services();
    s.applicationFolder = "/";
    MainWindow w(s);
    w.Load();
    EXPECT_EQ(w.state().SettingsFilePath, "//TarnApp.ini");
}

TEST(FunctionSelection, OnlyTheChosenPanelIsShownAndMarked)
{
    Harness h;
    h.start();
    for (int index : {kSetup, kPeriod, kFrequency, kFastRise, kAmplitude, kAmplitude}) {
        h.window->form().operatorClick("optFunction", index);
        EXPECT_EQ(visiblePanels(h), QList<int>({index}));
        for (int id : h.window->form().group("optFunction")) {
            const Control& option = h.window->form().at(id);
            const bool chosen = option.index == index;
            EXPECT_EQ(option.value, chosen);
            EXPECT_EQ(option.fore, chosen ? colors::black : colors::red);
            EXPECT_EQ(option.back, chosen ? colors::red : colors::black);
        }
        // Frequency and Period start with a typed setting of their own.
        EXPECT_EQ(h.window->state().OutputSet, index == kFrequency || index == kPeriod);
    }
}

TEST(FunctionSelection, AmplitudeResetsItsControlsAndSendsOnlyOff)
{
    Harness h;
    h.start();
    h.window->form().operatorClick("optFunction", kSetup);
    h.window->form().setListIndex("lstAmpRanges", kNoIndex, 5);
    h.window->form().setOptionValue("optGraticules", 4, true);
    h.c("cmd50Ohm").latchValue = 0;
    h.journal.clear();

    h.window->form().operatorClick("optFunction", kAmplitude);
    EXPECT_EQ(h.pieces(), QStringList({"OFF"}));
    EXPECT_EQ(h.c("lstAmpRanges").listIndex, 0);
    EXPECT_TRUE(h.c("optGraticules", 1).value);
    EXPECT_FALSE(h.c("optGraticules", 4).value);
    EXPECT_EQ(h.c("cmd50Ohm").latchValue, 1);
    EXPECT_EQ(h.c("cmdDeviation").latchValue, 1);
    EXPECT_TRUE(h.c("optWave", 0).value);
    EXPECT_EQ(h.c("optWave", 0).back, colors::red);
    EXPECT_EQ(h.c("optWave", 1).back, colors::blue);
    EXPECT_EQ(h.c("lblMainDisplay").alignment, Alignment::Right);
    EXPECT_FALSE(h.window->state().AmplitudeUpdating);

    // Selecting it again gives the same state and the same single command.
    h.journal.clear();
    h.window->form().operatorClick("optFunction", kAmplitude);
    EXPECT_EQ(h.pieces(), QStringList({"OFF"}));
    EXPECT_EQ(h.c("lblMainDisplay").caption, "Output Zero");
}

TEST(FunctionSelection, AmplitudeControlsAreSetUnderTheGuard)
{
    // The range list and graticule actions raised while function selection
    // sets them see AmplitudeUpdating, so they do not apply an amplitude.
    Harness h;
    h.start();
    h.window->form().operatorClick("optFunction", kSetup);
    QList<bool> guardSeen;
    h.window->form().onClick("lstAmpRanges", [&](int) { guardSeen << h.window->state().AmplitudeUpdating; });
    h.window->form().onClick("optGraticules", [&](int) { guardSeen << h.window->state().AmplitudeUpdating; });
    h.window->form().setListIndex("lstAmpRanges", kNoIndex, 3);
    guardSeen.clear();
    h.window->form().operatorClick("optFunction", kAmplitude);
    EXPECT_EQ(guardSeen, QList<bool>({true}));  // the list changed; x2 was still selected
}

TEST(FunctionSelection, FastRiseSendsFrAndPromptsInTheEmptyBox)
{
    Harness h;
    h.start();
    h.c("txtRiseTime").caption = "2.5";
    h.journal.clear();
    h.window->form().operatorClick("optFunction", kFastRise);
    EXPECT_EQ(h.pieces(), QStringList({"FR"}));
    EXPECT_EQ(h.c("lblMainDisplay").caption, "Enter measured\rrise time");
    EXPECT_EQ(h.c("lblMainDisplay").alignment, Alignment::Center);
    EXPECT_EQ(h.c("txtRiseTime").caption, "");
    EXPECT_EQ(h.window->form().focus(), h.window->form().idOf("txtRiseTime"));
}

TEST(FunctionSelection, SetupShowsItsTitleWithoutRememberingIt)
{
    Harness h;
    h.start();
    h.journal.clear();
    h.window->form().operatorClick("optFunction", kSetup);
    EXPECT_TRUE(h.pieces().isEmpty());
    EXPECT_EQ(h.c("lblMainDisplay").caption, "Tarn Calibrator Setup");
    EXPECT_EQ(h.c("lblMainDisplay").alignment, Alignment::Center);
    EXPECT_EQ(h.c("lblDutyCycleDisplay").caption, "");
    EXPECT_EQ(h.window->rememberedDisplayText(), "Output Zero");
}

TEST(FunctionSelection, FrequencyAndPeriodChooseTheirStartingRange)
{
    Harness h;
    h.start();
    h.window->form().operatorClick("optFunction", kFrequency);
    EXPECT_TRUE(h.c("optFreqRange", 0).value);
    EXPECT_EQ(h.c("lblMainDisplay").alignment, Alignment::Right);
    h.window->form().operatorClick("optFunction", kPeriod);
    EXPECT_TRUE(h.c("optPeriodRange", 1).value);
}
