// A whole amplitude setting, set through the panel's own handlers so that
// the window shows it and every command goes out as an operator's would.

#include "amplitude/amplitude_panel.h"

#include "app/main_window.h"

#include <cmath>

namespace tarn {

namespace {
// The highest range offers the graticules up to x4 only.
constexpr double kFullGraticuleLimit = 20.0;  // V/div

// The graticule option of a number of divisions: x1, x2, x4, x6, x8.
int graticuleOption(int divisions)
{
    return divisions == 1 ? 0 : divisions / 2;
}
} // namespace

bool AmplitudePanel::OffersDivisions(double voltsPerDivision, int divisions)
{
    if (divisions != 1 && divisions != 2 && divisions != 4 && divisions != 6 && divisions != 8)
        return false;
    return divisions <= 4 || voltsPerDivision <= kFullGraticuleLimit;
}

bool AmplitudePanel::IsRange(double voltsPerDivision)
{
    for (const AmplitudeRange& range : kAmplitudeRanges)
        if (std::lround(voltsPerDivision * 1000) == range.millivolts
            && std::fabs(voltsPerDivision * 1000 - range.millivolts) < 1e-6)
            return true;
    return false;
}

int AmplitudePanel::RangeRowOf(double voltsPerDivision) const
{
    const std::vector<ListRow>& rows = form_(QStringLiteral("lstAmpRanges")).rows;
    for (size_t row = 0; row < rows.size(); ++row)
        if (std::lround(voltsPerDivision * 1000) == rows[row].itemData
            && std::fabs(voltsPerDivision * 1000 - rows[row].itemData) < 1e-6)
            return static_cast<int>(row);
    return -1;
}

bool AmplitudePanel::ApplySetting(const AmplitudeSetting& setting)
{
    const int row = RangeRowOf(setting.voltsPerDivision);
    if (row < 0 || !OffersDivisions(setting.voltsPerDivision, setting.divisions)
        || (setting.ohm50 && !FiftyOhmAvailable(setting.voltsPerDivision)))
        return false;
    const QString deviation = QStringLiteral("cmdDeviation");
    const QString fiftyOhm = QStringLiteral("cmd50Ohm");
    // Back to nominal before the range changes, so that the new range never
    // goes out deviated by the last point's factor.
    if (form_(deviation).latchValue == 0 && window_.state().DeviationFactor != 1.0)
        form_.operatorClick(QStringLiteral("cmdDevZero"));
    // 50 Ohm off before a range above its limit, which would warn.
    if (!setting.ohm50 && form_(fiftyOhm).latchValue == 0)
        form_.operatorClick(fiftyOhm);
    // Only what differs is clicked, so that nothing goes out twice.
    if (form_(QStringLiteral("lstAmpRanges")).listIndex != row || !window_.state().OutputSet)
        form_.operatorSelectRow(QStringLiteral("lstAmpRanges"), kNoIndex, row);
    if (GraticuleDivisions() != setting.divisions)
        form_.operatorClick(QStringLiteral("optGraticules"), graticuleOption(setting.divisions));
    if (setting.ohm50 && form_(fiftyOhm).latchValue != 0)
        form_.operatorClick(fiftyOhm);
    if (setting.deviation != (form_(deviation).latchValue == 0))
        form_.operatorClick(deviation);
    // The waveform last: from Zero it puts the whole setting out at once.
    if (!form_(QStringLiteral("optWave"), setting.dc ? 1 : 2).value)
        form_.operatorClick(QStringLiteral("optWave"), setting.dc ? 1 : 2);

    return Holds(setting);
}

bool AmplitudePanel::Holds(const AmplitudeSetting& setting) const
{
    const bool deviationOn = form_(QStringLiteral("cmdDeviation")).latchValue == 0;
    return window_.form()(QStringLiteral("optFunction"), kAmplitude).value
           && rangeMillivolts() == std::lround(setting.voltsPerDivision * 1000)
           && GraticuleDivisions() == setting.divisions
           && (form_(QStringLiteral("cmd50Ohm")).latchValue == 0) == setting.ohm50
           && deviationOn == setting.deviation
           && form_(QStringLiteral("optWave"), setting.dc ? 1 : 2).value && window_.state().OutputSet;
}

} // namespace tarn
