#include "sim/calibrator_model.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

using tarn::sim::CalibratorModel;

TEST(CalibratorModel, QueriesAnswerFromTheStateTheCommandsSet)
{
    struct Case {
        std::vector<std::string> commands;
        std::vector<std::pair<std::string, std::string>> replies;  // query, reply
    } cases[] = {
        {{}, {{"FUNC?", "OFF"}, {"A?", "A 0.01"}}},
        {{"A 1.0", "G 8", "WAVE SQ", "50R OFF"}, {{"FUNC?", "AMPL"}, {"A?", "A 1"}}},
        {{"A 0.000125"}, {{"A?", "A 0.000125"}}},
        {{"G 4"}, {{"G?", "G 4"}}},
        {{"WAVE SQ"}, {{"WAVE?", "WAVE SQ"}}},
        {{"WAVE SQ", "WAVE DC"}, {{"WAVE?", "WAVE DC"}}},
        {{"50R ON"}, {{"50R?", "50R ON"}}},
        {{"F 12346"}, {{"FUNC?", "FREQ"}, {"F?", "F 12346"}}},
        {{"P 0.0025"}, {{"P?", "P 0.0025"}, {"FUNC?", "PER"}}},
        {{"D 25"}, {{"D?", "D 25"}}},
        // The duty cycle belongs to the timing setting it follows.
        {{"F 10000.0", "D 25.0", "P 0.0001", "D 40.0"},
         {{"D?", "D 40"}, {"F?", "F 10000"}, {"P?", "P 0.0001"}, {"FUNC?", "PER"}}},
        {{"P 0.0001", "D 40.0", "F 200000.0", "D 60.0"}, {{"D?", "D 60"}, {"FUNC?", "FREQ"}}},
        {{"F 10000.0", "D 25.0", "F 100000000"}, {{"D?", "D 50"}, {"F?", "F 100000000"}}},
        {{"FR"}, {{"FUNC?", "FR"}}},
        {{"A 2.0", "OFF"}, {{"FUNC?", "OFF"}}},
        {{"A 2.0", "50R ON", "*RST"}, {{"A?", "A 0.01"}, {"50R?", "50R OFF"}}},
        // Malformed values change nothing.
        {{"A x", "A ", "F 1e999"}, {{"A?", "A 0.01"}, {"F?", "F 1000"}}},
        {{"G 1e300", "G -4", "G 2.5"}, {{"G?", "G 8"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.replies[0].first + " after " + std::to_string(c.commands.size()) + " commands");
        CalibratorModel model;
        for (const std::string& command : c.commands)
            EXPECT_FALSE(model.receive(command).has_value()) << command;
        for (const auto& [query, reply] : c.replies)
            EXPECT_EQ(model.receive(query), reply) << query;
    }
}

TEST(CalibratorModel, UnknownLinesAreMarked)
{
    CalibratorModel model;
    for (const char* line : {"", "A x", "HELLO", "FUNC", "G 1e300"}) {
        EXPECT_FALSE(model.receive(line).has_value());
        EXPECT_FALSE(model.lastLineKnown()) << line;
    }
    model.receive("OFF");
    EXPECT_TRUE(model.lastLineKnown());
}
