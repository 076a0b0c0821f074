#include "app/main_window.h"

#include <cmath>

namespace tarn {

namespace {
const QString kWaveLines[] = {
    QStringLiteral("linLow"), QStringLiteral("linRise"), QStringLiteral("linHigh"),
    QStringLiteral("linFall"), QStringLiteral("linLow2"), QStringLiteral("linRise2"),
    QStringLiteral("linHigh2"),
};
}

void MainWindow::ShowDisplayText(const QString& text)
{
    if (!text.isEmpty())
        displayText_ = text;
    // An empty text puts the last value back, e.g. after an error message.
    form_(QStringLiteral("lblMainDisplay")).caption = displayText_;
    state_.DisplayShowsValue = true;
}

void MainWindow::ClearDisplay()
{
    form_(QStringLiteral("lblMainDisplay")).caption.clear();
    form_(QStringLiteral("lblDutyCycleDisplay")).caption.clear();
    DrawWaveform(-1, false, false);
    form_(QStringLiteral("lblVPeakPeak")).caption.clear();
}

void MainWindow::DrawWaveform(double duty, bool showZeroLine, bool showMarker)
{
    Control& zeroLine = form_(QStringLiteral("linX"));
    Control& marker = form_(QStringLiteral("imgArrow"));
    if (duty < 0) {
        zeroLine.visible = false;
        marker.visible = false;
        for (const QString& name : kWaveLines)
            form_(name).visible = false;
        return;
    }
    zeroLine.visible = showZeroLine;
    marker.visible = showMarker;

    Control& low = form_(QStringLiteral("linLow"));
    Control& rise = form_(QStringLiteral("linRise"));
    Control& high = form_(QStringLiteral("linHigh"));
    Control& low2 = form_(QStringLiteral("linLow2"));
    Control& rise2 = form_(QStringLiteral("linRise2"));
    Control& high2 = form_(QStringLiteral("linHigh2"));

    const bool flatHigh = duty == 100;
    const bool flatLow = duty == 0;
    for (const QString& name : kWaveLines)
        form_(name).visible = !flatHigh && !flatLow;
    if (flatHigh)
        high.visible = high2.visible = true;
    if (flatLow)
        low.visible = low2.visible = true;

    // The low phase takes k % of each period, the high phase the rest.
    const float period = high.line.x2 - low.line.x1;
    const double k = std::nearbyint(100.0 - duty);  // halves to the even neighbour
    low.line.x2 = static_cast<float>(low.line.x1 + (k / 100.0) * period);
    rise.line.x1 = rise.line.x2 = low.line.x2;
    high.line.x1 = low.line.x2;
    low2.line.x2 = static_cast<float>(double(low.line.x2) + period);
    rise2.line.x1 = rise2.line.x2 = low2.line.x2;
    high2.line.x1 = low2.line.x2;
    marker.left = static_cast<int>(std::lround(rise.line.x1));
}

} // namespace tarn
