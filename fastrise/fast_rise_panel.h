#pragma once
// The fast-rise panel: puts the calibrator's fast edge out and turns the
// rise time the operator measured on the oscilloscope into its bandwidth.

namespace tarn {

class MainWindow;

// The calibrator's own rise time, nanoseconds; taken out of the measured
// rise time in quadrature.
inline constexpr double InstrumentRiseTime = 0.3;

class FastRisePanel {
public:
    // Registers the Calculate button.
    explicit FastRisePanel(MainWindow& window);
    FastRisePanel(const FastRisePanel&) = delete;
    FastRisePanel& operator=(const FastRisePanel&) = delete;

    // Entering the function: prompt, empty entry box, "FR" to the instrument.
    void SelectFastRise();
    // cmdCalcRiseTime.
    void Calculate();

    // The bandwidth shown for a measured rise time in nanoseconds.
    struct Bandwidth {
        enum class Outcome { Shown, TooShort, Failed };
        Outcome outcome = Outcome::Failed;
        double megahertz = 0.0;  // rounded to 1, 5 or 10 MHz by size
    };
    static Bandwidth RoundedBandwidth(double riseTime);
    // The same, unrounded.
    static Bandwidth ExactBandwidth(double riseTime);

private:
    MainWindow& window_;
};

} // namespace tarn
