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
};

} // namespace tarn
