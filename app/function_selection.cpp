#include "app/main_window.h"

namespace tarn {

namespace {
const QString kOptFunction = QStringLiteral("optFunction");
const QString kFraFunction = QStringLiteral("fraFunction");
}

void MainWindow::SelectFunction(int index)
{
    // Show the chosen panel and mark its option: black on red; the others
    // red on black.
    for (int id : form_.group(kOptFunction)) {
        Control& option = form_.at(id);
        const bool chosen = option.index == index;
        if (Control* panel = form_.find(kFraFunction, option.index))
            panel->visible = chosen;
        option.fore = chosen ? colors::black : colors::red;
        option.back = chosen ? colors::red : colors::black;
    }
    ClearDisplay();
    state_.OutputSet = false;

    Control& display = form_(QStringLiteral("lblMainDisplay"));
    switch (index) {
    case kAmplitude:
        display.alignment = Alignment::Right;
        state_.AmplitudeUpdating = true;
        form_.setListIndex(QStringLiteral("lstAmpRanges"), kNoIndex, 0);
        form_.setOptionValue(QStringLiteral("optGraticules"), 1, true);
        form_.setLatchValue(QStringLiteral("cmd50Ohm"), kNoIndex, 1);
        form_.runClick(QStringLiteral("cmd50Ohm"), kNoIndex);
        form_.setLatchValue(QStringLiteral("cmdDeviation"), kNoIndex, 1);
        form_.runClick(QStringLiteral("cmdDeviation"), kNoIndex);
        state_.AmplitudeUpdating = false;
        form_.setOptionValue(QStringLiteral("optWave"), 0, true);
        form_.runClick(QStringLiteral("optWave"), 0);
        break;
    case kFastRise:
        display.alignment = Alignment::Center;
        SelectFastRise();
        form_.setFocus(QStringLiteral("txtRiseTime"));
        break;
    case kFrequency:
        display.alignment = Alignment::Right;
        form_.setOptionValue(QStringLiteral("optFreqRange"), 0, true);
        form_.runClick(QStringLiteral("optFreqRange"), 0);
        break;
    case kPeriod:
        display.alignment = Alignment::Right;
        form_.setOptionValue(QStringLiteral("optPeriodRange"), 1, true);
        form_.runClick(QStringLiteral("optPeriodRange"), 1);
        break;
    case kSetup:
        display.alignment = Alignment::Center;
        LoadSettings();
        // Written directly: the remembered text and DisplayShowsValue stay.
        display.caption = QStringLiteral("Tarn Calibrator Setup");
        break;
    default:
        break;
    }
}

} // namespace tarn
