#include "app/main_window.h"

namespace tarn {

void MainWindow::SelectWave(int index)
{
    for (int id : form_.group(QStringLiteral("optWave"))) {
        Control& option = form_.at(id);
        const bool chosen = option.index == index;
        option.fore = chosen ? colors::black : colors::red;
        option.back = chosen ? colors::red : colors::blue;
    }
    if (form_(QStringLiteral("optWave"), 0).value)
        OutputZero();
    // DC and the square wave apply the amplitude, which the amplitude
    // routine of this panel does once it is wired in.
}

void MainWindow::OutputZero()
{
    SendCommand(QStringLiteral("OFF"));
    ShowDisplayText(QStringLiteral("Output Zero"));
    form_(QStringLiteral("lblDutyCycleDisplay")).caption = QStringLiteral("Zero");
    DrawWaveform(0.0, true, false);
    form_(QStringLiteral("lblVPeakPeak")).caption.clear();
    state_.OutputSet = false;
}

} // namespace tarn
