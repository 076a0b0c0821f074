#include "app/test_fakes.h"

#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::testing;

namespace {

const QString kTooShort = "Rise Time is too short - cannot calculate Bandwidth";

QString errorText(const QString& separator)
{
    return "An error occurred that meant the calculation could not be performed.\r"
           "Make sure that only digits (0-9) and a decimal point ("
           + separator + ") are in your entry.";
}

TEST(FastRise, BandwidthFromTheMeasuredRiseTime)
{
    struct Case {
        QString separator, entry;
        QString display;   // main display afterwards
        QString message;   // text of the one message, or empty for none
        QString entryAfter;
    };
    const QString prompt = "Enter measured\rrise time";
    const Case cases[] = {
        {".", "1", "Bandwidth: 370 MHz", "", "1"},
        {".", "0.5", "Bandwidth: 880 MHz", "", "0.5"},    // exactly 875, halves up
        {".", "3.6", "Bandwidth: 100 MHz", "", "3.6"},    // 97.56 to the nearest 5
        {".", "10", "Bandwidth: 35 MHz", "", "10"},
        {".", "20", "Bandwidth: 18 MHz", "", "20"},
        {".", "50", "Bandwidth: 7 MHz", "", "50"},
        {".", "0.31", "Bandwidth: 4480 MHz", "", "0.31"},
        {".", "-5", "Bandwidth: 70 MHz", "", "-5"},
        {".", "1000", "Bandwidth: 0 MHz", "", "1000"},     // long, but calculable
        {".", "0.3", "Enter rise time", kTooShort, ""},
        {".", "0.2", "Enter rise time", kTooShort, ""},
        {".", "0", "Enter rise time", kTooShort, ""},
        {".", "", prompt, errorText("."), ""},
        {".", "1.2.3", prompt, errorText("."), "1.2.3"},
        {".", ".", prompt, errorText("."), "."},
        {".", "abc", prompt, errorText("."), "abc"},
        {".", "1" + QString(200, '0'), prompt, errorText("."), "1" + QString(200, '0')},  // square overflows
        {",", "0,5", "Bandwidth: 880 MHz", "", "0,5"},
        {",", "3.6", prompt, errorText(","), "3.6"},
        {",", "", prompt, errorText(","), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.separator + " " + c.entry).toStdString());
        Harness h;
        h.numbers.format.decimalSeparator = c.separator;
        h.start();
        h.window->form().operatorClick("optFunction", kFastRise);
        EXPECT_EQ(h.pieces(), QStringList({"OFF", "FR"}));
        h.window->form().operatorEditText("txtRiseTime", kNoIndex, c.entry);
        h.window->form().operatorClick("cmdCalcRiseTime");
        EXPECT_EQ(h.c("lblMainDisplay").caption, c.display);
        EXPECT_EQ(h.c("txtRiseTime").caption, c.entryAfter);
        std::vector<MessageRequest> shown;
        if (!c.message.isEmpty())
            shown.push_back({"Bandwidth Calculator", c.message, MessageIcon::Exclamation, MessageButtons::Ok});
        EXPECT_EQ(h.messages.shown, shown);
        // Results are written directly, never remembered as a value.
        EXPECT_EQ(h.window->rememberedDisplayText(), "Output Zero");
        EXPECT_EQ(h.pieces(), QStringList({"OFF", "FR"}));
    }
}

} // namespace
