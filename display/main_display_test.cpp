#include "app/test_fakes.h"

#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::testing;

namespace {

struct Picture {
    float lowX2, rise1, rise2, highX1, low2X2, high2X1;
    int marker;
};

Picture picture(Harness& h)
{
    return {h.c("linLow").line.x2,  h.c("linRise").line.x1,  h.c("linRise2").line.x1,
            h.c("linHigh").line.x1, h.c("linLow2").line.x2, h.c("linHigh2").line.x1,
            h.c("imgArrow").left};
}

QStringList shownLines(Harness& h)
{
    QStringList out;
    for (const char* name : {"linX", "linLow", "linRise", "linHigh", "linFall", "linLow2", "linRise2", "linHigh2",
                             "imgArrow"})
        if (h.c(name).visible)
            out << name;
    return out;
}

} // namespace

TEST(DrawWaveform, FiftyPercentReproducesTheDesign)
{
    Harness h;
    h.window->DrawWaveform(50, false, true);
    const Picture p = picture(h);
    EXPECT_EQ(p.lowX2, 4080.0f);
    EXPECT_EQ(p.rise1, 4080.0f);
    EXPECT_EQ(p.highX1, 4080.0f);
    EXPECT_EQ(p.low2X2, 5040.0f);
    EXPECT_EQ(p.rise2, 5040.0f);
    EXPECT_EQ(p.high2X1, 5040.0f);
    EXPECT_EQ(p.marker, 4080);
    EXPECT_EQ(h.c("linRise").line.x2, 4080.0f);
    EXPECT_EQ(h.c("linRise2").line.x2, 5040.0f);
    // The rest of the picture never moves.
    EXPECT_EQ(h.c("linLow").line.x1, 3600.0f);
    EXPECT_EQ(h.c("linFall").line.x1, 4560.0f);
    EXPECT_EQ(h.c("linHigh2").line.x2, 5520.0f);
    EXPECT_EQ(h.c("linHigh").line.y1, 960.0f);
    EXPECT_EQ(h.c("linLow").line.y1, 1320.0f);
    EXPECT_EQ(shownLines(h), QStringList({"linLow", "linRise", "linHigh", "linFall", "linLow2", "linRise2",
                                          "linHigh2", "imgArrow"}));
}

TEST(DrawWaveform, LowPhaseIsRoundedPercentOfThePeriod)
{
    Harness h;
    h.window->DrawWaveform(90.23, false, true);
    EXPECT_EQ(picture(h).lowX2, 3696.0f);
    EXPECT_EQ(picture(h).rise2, 4656.0f);
    EXPECT_EQ(picture(h).marker, 3696);

    h.window->DrawWaveform(99.6, false, false);  // k = 0
    EXPECT_EQ(picture(h).rise1, 3600.0f);
    EXPECT_EQ(picture(h).rise2, 4560.0f);
    EXPECT_EQ(shownLines(h).size(), 7);

    h.window->DrawWaveform(0.4, false, false);  // k = 100
    EXPECT_EQ(picture(h).rise1, 4560.0f);
    EXPECT_EQ(picture(h).rise2, 5520.0f);

    // Halves go to the even neighbour: 99.5 gives 100, 98.5 gives 98.
    h.window->DrawWaveform(0.5, false, false);
    EXPECT_EQ(picture(h).lowX2, 3600.0f + 960.0f);
    h.window->DrawWaveform(1.5, false, false);
    EXPECT_FLOAT_EQ(picture(h).lowX2, 3600.0f + 0.98f * 960.0f);
}

TEST(DrawWaveform, FlatLevelsAndNoPicture)
{
    Harness h;
    h.window->DrawWaveform(100, true, false);
    EXPECT_EQ(shownLines(h), QStringList({"linX", "linHigh", "linHigh2"}));
    EXPECT_EQ(picture(h).highX1, 3600.0f);  // k = 0: the high level spans the periods

    h.window->DrawWaveform(0, true, false);
    EXPECT_EQ(shownLines(h), QStringList({"linX", "linLow", "linLow2"}));
    EXPECT_EQ(picture(h).lowX2, 4560.0f);

    const Picture before = picture(h);
    h.window->DrawWaveform(-1, true, true);
    EXPECT_TRUE(shownLines(h).isEmpty());
    EXPECT_EQ(picture(h).lowX2, before.lowX2);  // nothing moves when hidden
}

TEST(MainDisplay, ShowRemembersAndEmptyTextBringsItBack)
{
    Harness h;
    h.window->ShowDisplayText("");
    EXPECT_EQ(h.c("lblMainDisplay").caption, "");
    EXPECT_TRUE(h.window->state().DisplayShowsValue);

    h.window->ShowDisplayText("10.0 kHz");
    h.window->state().DisplayShowsValue = false;
    h.c("lblDutyCycleDisplay").caption = "Duty Cycle: 50.0%";
    h.c("lblVPeakPeak").caption = "4.0 V Pk-Pk";
    h.window->DrawWaveform(50, true, true);

    h.window->ClearDisplay();
    EXPECT_EQ(h.c("lblMainDisplay").caption, "");
    EXPECT_EQ(h.c("lblDutyCycleDisplay").caption, "");
    EXPECT_EQ(h.c("lblVPeakPeak").caption, "");
    EXPECT_TRUE(shownLines(h).isEmpty());
    EXPECT_FALSE(h.window->state().DisplayShowsValue);  // clearing does not touch it

    h.window->ShowDisplayText("");
    EXPECT_EQ(h.c("lblMainDisplay").caption, "10.0 kHz");
    EXPECT_TRUE(h.window->state().DisplayShowsValue);
}
