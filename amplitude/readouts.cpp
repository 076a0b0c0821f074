#include "amplitude/amplitude_panel.h"

#include "app/main_window.h"

namespace tarn {

QString FormatVolts(double volts, const NumberFormat& format)
{
    // The pattern is chosen on the exact value, then the number is rounded.
    std::optional<QString> text;
    if (volts < 1)
        text = formatNumber(volts * 1000, u"0.0## m", format);
    else if (volts < 10)
        text = formatNumber(volts, u"0.0#### ", format);
    else
        text = formatNumber(volts, u"0.0### ", format);
    return text.value_or(QString()) + u'V';
}

void AmplitudePanel::ShowAmplitudeReadouts()
{
    const NumberFormat format = window_.numberFormat();
    const double voltsPerDiv = rangeMillivolts() / 1000.0 * window_.state().DeviationFactor;
    const int divisions = GraticuleDivisions();
    // Written directly: the remembered display text stays as it was.
    form_(QStringLiteral("lblMainDisplay")).caption =
        FormatVolts(voltsPerDiv, format) + QStringLiteral("/div, %1 div").arg(divisions);

    Control& peakToPeak = form_(QStringLiteral("lblVPeakPeak"));
    Control& waveform = form_(QStringLiteral("lblDutyCycleDisplay"));
    peakToPeak.caption = FormatVolts(voltsPerDiv * divisions, format);
    if (form_(QStringLiteral("optWave"), 1).value) {
        waveform.caption = QStringLiteral("DC");
        window_.DrawWaveform(100.0, true, false);
    } else {
        peakToPeak.caption += QStringLiteral(" Pk-Pk");
        waveform.caption = QStringLiteral("1 kHz Square Wave");
        window_.DrawWaveform(50.0, true, false);
    }
}

} // namespace tarn
