#include "amplitude/amplitude_panel.h"

#include "app/main_window.h"

namespace tarn {

namespace {
const QString kRanges = QStringLiteral("lstAmpRanges");
const QString kGraticules = QStringLiteral("optGraticules");
const QString kWave = QStringLiteral("optWave");
const QString kFiftyOhm = QStringLiteral("cmd50Ohm");

constexpr int kZero = 0;
constexpr int kDc = 1;
constexpr int kSquare = 2;
} // namespace

AmplitudePanel::AmplitudePanel(MainWindow& window)
    : window_(window), form_(window.form())
{
    form_.onClick(kRanges, [this](int) { RangeClick(); });
    form_.onClick(kGraticules, [this](int index) { GraticuleClick(index); });
    form_.onClick(kWave, [this](int index) { SelectWave(index); });
    form_.onClick(kFiftyOhm, [this](int) { Click50Ohm(); });
    form_.onClick(QStringLiteral("cmdDeviation"), [this](int) { DeviationClick(); });
    for (const QString& name : {QStringLiteral("cmdDevDownLarge"), QStringLiteral("cmdDevDown"),
                                QStringLiteral("cmdDevZero"), QStringLiteral("cmdDevUp"),
                                QStringLiteral("cmdDevUpLarge")}) {
        form_.onClick(name, [this, name](int) { StepButtonClick(name); });
        if (name == QStringLiteral("cmdDevZero"))
            continue;  // the zero button does not repeat
        form_.onMouseDown(name, [this, name](int, int button) { StepButtonDown(name, button); });
        form_.onMouseUp(name, [this](int) { StepButtonUp(); });
    }
    form_.onTimer(QStringLiteral("tmrRepeat"), [this] { RepeatTick(); });
}

std::int32_t AmplitudePanel::rangeMillivolts() const
{
    const Control& list = form_(kRanges);
    if (list.listIndex < 0 || list.listIndex >= static_cast<int>(list.rows.size()))
        return 0;
    return list.rows[static_cast<size_t>(list.listIndex)].itemData;
}

std::int16_t AmplitudePanel::GraticuleDivisions() const
{
    const std::vector<int> options = form_.group(kGraticules);
    if (form_.at(options.front()).value)
        return 1;
    std::int16_t divisions = 0;
    for (size_t i = 1; i < options.size(); ++i)
        if (form_.at(options[i]).value)
            divisions = static_cast<std::int16_t>(2 * form_.at(options[i]).index);
    return divisions;
}

void AmplitudePanel::RangeClick()
{
    if (!window_.state().AmplitudeUpdating)
        ApplyAmplitude(RangeChanged);
}

void AmplitudePanel::GraticuleClick(int index)
{
    // The red mark follows every selection, also one made by the program.
    for (int id : form_.group(kGraticules)) {
        Control& option = form_.at(id);
        option.back = option.index == index ? colors::red : colors::buttonFace;
    }
    if (!window_.state().AmplitudeUpdating)
        ApplyAmplitude(GraticulesChanged);
}

void AmplitudePanel::applyRangeConstraints(double nominalVoltsPerDiv)
{
    if (GraticuleDivisions() == 0)
        form_.setOptionValue(kGraticules, 1, true);
    // 50 V/div goes up to x4 only; every lower range offers all five.
    const bool highest = !OffersDivisions(nominalVoltsPerDiv, 6);
    if (highest && GraticuleDivisions() > 4)
        form_.setOptionValue(kGraticules, 2, true);
    form_(kGraticules, 3).visible = !highest;
    form_(kGraticules, 4).visible = !highest;
}

void AmplitudePanel::checkFiftyOhm(double nominalVoltsPerDiv)
{
    if (FiftyOhmAvailable(nominalVoltsPerDiv) || form_(kFiftyOhm).latchValue != 0)
        return;
    window_.showMessage({QStringLiteral("Warning"),
                         QStringLiteral("50 Ohm output is not available about 200 mV.\r\r"
                                        "Please ensure the instrument is now set to high "
                                        "impedance mode."),
                         MessageIcon::Exclamation, MessageButtons::Ok});
    form_.setLatchValue(kFiftyOhm, kNoIndex, 1);
    Click50Ohm();
    window_.services().busy->processEvents();
}

QString AmplitudePanel::amplitudeCommand(double nominalVoltsPerDiv) const
{
    return QStringLiteral("A ")
           + FormatCommandNumber(nominalVoltsPerDiv * window_.state().DeviationFactor, u"0.0#####");
}

QString AmplitudePanel::waveformCommand() const
{
    if (form_(kWave, kDc).value)
        return QStringLiteral("WAVE DC");
    if (form_(kWave, kSquare).value)
        return QStringLiteral("WAVE SQ");
    return {};
}

void AmplitudePanel::ApplyAmplitude(AmplitudeChange reason)
{
    WindowState& state = window_.state();
    state.AmplitudeUpdating = true;
    const double nominal = rangeMillivolts() / 1000.0;
    applyRangeConstraints(nominal);
    checkFiftyOhm(nominal);

    if (!form_(kWave, kZero).value) {
        const QString divisions = QStringLiteral("G %1").arg(GraticuleDivisions());
        QString command;
        if (!state.OutputSet) {
            command = amplitudeCommand(nominal) + u'/' + divisions;
            if (const QString wave = waveformCommand(); !wave.isEmpty())
                command += u'/' + wave;
            command += form_(kFiftyOhm).latchValue == 0 ? QStringLiteral("/50R ON")
                                                        : QStringLiteral("/50R OFF");
        } else {
            switch (reason) {
            case RangeChanged:
            case DeviationChanged: command = amplitudeCommand(nominal); break;
            case GraticulesChanged: command = divisions; break;
            case WaveformChanged: command = waveformCommand(); break;
            }
        }
        const double factorSent = state.DeviationFactor;
        window_.SendCommand(command);
        if (command.startsWith(QStringLiteral("A ")))
            lastSent_ = command.section(u'/', 0, 0).mid(2).toDouble();
        // The repeat timer runs on while a slow line takes the text: a step
        // it took meanwhile is sent now, before the readouts show it.
        for (double factor = factorSent; state.DeviationFactor != factor
                                         && !form_(kWave, kZero).value;) {
            factor = state.DeviationFactor;
            const QString again = amplitudeCommand(nominal);
            window_.SendCommand(again);
            lastSent_ = again.mid(2).toDouble();
        }
        ShowAmplitudeReadouts();
        state.OutputSet = true;
    }
    state.AmplitudeUpdating = false;
}

} // namespace tarn
