// The two simulators together: tarn-sim's state text, read by scope-sim,
// measured as an ideal oscilloscope would.

#include "sim/calibrator_model.h"
#include "sim/scope_model.h"

#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::sim;

namespace {

TEST(ScopeModel, FollowsTheCalibratorsOutput)
{
    struct Case {
        std::vector<std::string> commands;
        MeasureKind kind;
        std::optional<double> reading;
    };
    const double scopeRise = 1.75e-9;
    const Case cases[] = {
        {{"A 0.5", "G 4", "WAVE DC"}, MeasureKind::Mean, 2.0},
        {{"A 0.5", "G 4", "WAVE DC"}, MeasureKind::PeakToPeak, std::nullopt},
        {{"A 0.2", "G 5", "WAVE SQ"}, MeasureKind::PeakToPeak, 1.0},
        {{"A 0.2", "G 5", "WAVE SQ"}, MeasureKind::Amplitude, 1.0},
        {{"A 0.2", "G 5", "WAVE SQ"}, MeasureKind::Mean, 0.5},
        {{"A 0.2", "G 5", "WAVE SQ"}, MeasureKind::Frequency, 1000.0},
        {{"F 2500000"}, MeasureKind::Frequency, 2.5e6},
        {{"F 1000", "D 25"}, MeasureKind::Mean, 0.25},
        {{"P 0.0002"}, MeasureKind::Period, 0.0002},
        {{"FR"}, MeasureKind::RiseTime, std::sqrt(1.75e-9 * 1.75e-9 + 0.3e-9 * 0.3e-9)},
        {{"A 0.5", "WAVE SQ", "OFF"}, MeasureKind::PeakToPeak, std::nullopt},
        {{"*RST"}, MeasureKind::Mean, std::nullopt},
    };
    for (const Case& c : cases) {
        CalibratorModel calibrator;
        std::string trace;
        for (const std::string& command : c.commands) {
            calibrator.receive(command);
            trace += command + "/";
        }
        SCOPED_TRACE(trace);
        const CalibratorOutput output = CalibratorOutput::fromText(QString::fromStdString(calibrator.stateText()));
        const std::optional<double> reading = IdealReading(output, c.kind, scopeRise);
        ASSERT_EQ(reading.has_value(), c.reading.has_value());
        if (reading) {
            EXPECT_NEAR(*reading, *c.reading, 1e-9 * *c.reading);
        }
    }
    // Without a state file the output is off.
    EXPECT_FALSE(IdealReading(CalibratorOutput::fromText({}), MeasureKind::Mean, scopeRise));
}

} // namespace
