#pragma once
// The amplitude panel: volts-per-division ranges and graticule divisions,
// the waveform choice, 50 Ohm output, output zero, deviation with its
// auto-repeat, and the amplitude readouts on the main display.
//
// The panel keeps the window core by reference: the instrument state
// (OutputSet, AmplitudeUpdating, DeviationFactor, DeviationStep), the
// command channel and the display routines are shared with the other panels.

#include "channel/number_format.h"

#include <QString>

#include <cstdint>

namespace tarn {

class MainWindow;
class FormModel;

// The kind of change that an amplitude application carries out.
enum AmplitudeChange : std::int16_t {
    RangeChanged = 0,
    GraticulesChanged = 1,
    WaveformChanged = 2,
    DeviationChanged = 3,
};

// A voltage (not negative) as the display writes it: millivolts below 1 V
// with one to three decimals, volts below 10 V with one to five, volts from
// 10 V up with one to four; a space between number and unit.
QString FormatVolts(double volts, const NumberFormat& format);

// The rows of the range list: caption and millivolts per division.
struct AmplitudeRange {
    const char* caption;
    std::int32_t millivolts;
};
inline constexpr AmplitudeRange kAmplitudeRanges[] = {
    {"1 mV/div", 1},       {"2 mV/div", 2},       {"5 mV/div", 5},
    {"10 mV/div", 10},     {"20 mV/div", 20},     {"50 mV/div", 50},
    {"100 mV/div", 100},   {"200 mV/div", 200},   {"500 mV/div", 500},
    {"1 V/div", 1000},     {"2 V/div", 2000},     {"5 V/div", 5000},
    {"10 V/div", 10000},   {"20 V/div", 20000},   {"50 V/div", 50000},
};

// A whole amplitude setting, as a procedure asks for it.
struct AmplitudeSetting {
    double voltsPerDivision = 0.0;  // a row of the range list
    int divisions = 1;              // 1, 2, 4, 6 or 8
    bool dc = true;                 // else square wave
    bool ohm50 = false;
    bool deviation = false;         // deviation on, at zero
};

class AmplitudePanel {
public:
    explicit AmplitudePanel(MainWindow& window);
    AmplitudePanel(const AmplitudePanel&) = delete;
    AmplitudePanel& operator=(const AmplitudePanel&) = delete;

    // --- Ranges and graticules ------------------------------------------
    // The divisions of the selected graticule choice; 0 when none is selected.
    std::int16_t GraticuleDivisions() const;
    void RangeClick();
    void GraticuleClick(int index);

    // --- Applying a setting -------------------------------------------------
    void ApplyAmplitude(AmplitudeChange reason);

    // --- Deviation ------------------------------------------------------------
    void StepDeviation(double step);
    void DeviationClick();
    void StepButtonClick(const QString& name);
    void StepButtonDown(const QString& name, int button);
    void StepButtonUp();
    void RepeatTick();
    // The window lost activation: a held step button no longer repeats.
    void WindowDeactivated();

    // --- Waveform, 50 Ohm and output zero --------------------------------
    void SelectWave(int index);
    void Click50Ohm();
    void OutputZero();

    // --- Readouts -----------------------------------------------------------
    void ShowAmplitudeReadouts();

    // --- A whole setting ------------------------------------------------------
    // The rules of the range list and the graticule options: whether a
    // range (volts per division) offers these divisions, and 50 Ohm.
    static bool OffersDivisions(double voltsPerDivision, int divisions);
    static bool FiftyOhmAvailable(double voltsPerDivision);
    // Whether a volts-per-division value is a row of the range list.
    static bool IsRange(double voltsPerDivision);
    // The range row of a volts-per-division value; -1 when there is none.
    int RangeRowOf(double voltsPerDivision) const;
    // Sets the whole setting through the panel's own handlers, in the order
    // an operator clicks: deviation to zero, range row, graticule, 50 Ohm,
    // deviation, waveform. False when the panel did not take it.
    bool ApplySetting(const AmplitudeSetting& setting);
    // Whether the panel is on the function and still holds the setting.
    bool Holds(const AmplitudeSetting& setting) const;
    // Volts per division of the last "A " command sent; 0 before the first.
    double LastVoltsPerDivisionSent() const { return lastSent_; }

private:
    // Millivolts per division of the selected range row.
    std::int32_t rangeMillivolts() const;
    void applyRangeConstraints(double nominalVoltsPerDiv);
    void checkFiftyOhm(double nominalVoltsPerDiv);
    QString amplitudeCommand(double nominalVoltsPerDiv) const;
    QString waveformCommand() const;
    bool stepButtonHeld() const;
    void stopRepeat();

    MainWindow& window_;
    FormModel& form_;
    // The step button on which the left mouse button went down, while the
    // repeat timer runs for it.
    QString held_;
    double lastSent_ = 0.0;
};

} // namespace tarn
