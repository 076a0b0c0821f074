#include "timing/timing_panel.h"

#include "app/main_window.h"
#include "channel/number_format.h"
#include "timing/timer_model.h"

#include <cmath>

namespace tarn {

namespace {
Keypad::Entry acceptingWith(Keypad::Entry entry, std::function<void(double)> accept)
{
    entry.accept = std::move(accept);
    return entry;
}
} // namespace

TimingPanel::TimingPanel(MainWindow& window, TimerModel& timer, Ranges ranges, Keypad::Keys keys,
                         Keypad::Entry entry)
    : window_(window),
      timer_(timer),
      ranges_(std::move(ranges)),
      keypad_(window, std::move(keys), acceptingWith(std::move(entry), ranges_.setTyped))
{
    FormModel& form = window_.form();
    form.onClick(ranges_.option, [this](int index) { SelectRange(index); });
    for (const Preset& preset : ranges_.presets) {
        const double value = preset.value;
        form.onClick(QString::fromLatin1(preset.button),
                     [this, value](int) { ranges_.setPreset(value); });
    }
}

void TimingPanel::SelectRange(int index)
{
    FormModel& form = window_.form();
    window_.state().DutyCycle = 50;
    const bool typed = index == ranges_.typedIndex;
    const int presetIndex = 1 - ranges_.typedIndex;
    form(ranges_.option, ranges_.typedIndex).back = typed ? colors::red : colors::buttonFace;
    form(ranges_.option, presetIndex).back = typed ? colors::buttonFace : colors::red;
    form(ranges_.typedFrame).visible = typed;
    form(ranges_.presetFrame).visible = !typed;
    if (typed)
        ranges_.setTyped(ranges_.firstTyped);
    else
        ranges_.setPreset(ranges_.firstPreset);
    if (!window_.state().DisplayShowsValue)
        window_.ShowDisplayText(QString());
}

void TimingPanel::SendPreset(const QString& command, const QString& shown)
{
    window_.SendCommand(command);
    window_.ShowDisplayText(shown);
    window_.form()(QStringLiteral("lblDutyCycleDisplay")).caption.clear();
    window_.DrawWaveform(-1, false, false);
    window_.state().OutputSet = false;
}

void TimingPanel::ApplyTyped(double period, bool exact)
{
    if (!exact) {
        const MessageResult answer = window_.showMessage(
            {ranges_.questionTitle, ranges_.question, MessageIcon::Question, MessageButtons::YesNo});
        if (answer != MessageResult::Yes) {
            window_.ShowDisplayText(QString());
            return;
        }
    }
    window_.state().CurrentPeriod = period;
    timer_.ApplyTimingSetting(ranges_.typedShownAsPeriod);
    window_.state().OutputSet = true;
}

bool TimingPanel::ReadsBackAlike(double value, QStringView pattern)
{
    const NumberFormat plain = NumberFormat::invariant();
    const auto written = formatNumber(value, pattern, plain);
    const auto back = written ? parseNumber(*written, plain) : std::nullopt;
    return back && static_cast<float>(*back) == static_cast<float>(value);
}


QString TimingPanel::OutsideLimits(const QString& what, const QString& unit, double value, double lowest,
                                   double highest)
{
    if (value >= lowest && value <= highest)
        return {};
    return QStringLiteral("%1 %2 %3 is outside the panel's limits, %4 %3 to %5 %3")
        .arg(what, resultsNumber(value), unit, resultsNumber(lowest), resultsNumber(highest));
}

bool TimingPanel::IsPreset(double value) const
{
    return IsPresetIn(ranges_.presets, value);
}

double TimingPanel::ClosestPreset(double value) const
{
    return ClosestPresetIn(ranges_.presets, value);
}

bool TimingPanel::IsPresetIn(const std::vector<Preset>& presets, double value)
{
    for (const Preset& preset : presets)
        if (preset.value == value)
            return true;
    return false;
}

double TimingPanel::ClosestPresetIn(const std::vector<Preset>& presets, double value)
{
    double closest = presets.front().value;
    for (const Preset& preset : presets)
        if (std::fabs(preset.value - value) < std::fabs(closest - value))
            closest = preset.value;
    return closest;
}

void TimingPanel::ApplySetting(double value)
{
    FormModel& form = window_.form();
    const bool typed = !IsPreset(value);
    const int option = typed ? ranges_.typedIndex : 1 - ranges_.typedIndex;
    if (!form(ranges_.option, option).value)
        form.operatorClick(ranges_.option, option);
    if (typed) {
        ranges_.setTyped(value);
        return;
    }
    for (const Preset& preset : ranges_.presets)
        if (preset.value == value)
            form.operatorClick(QString::fromLatin1(preset.button));
}

} // namespace tarn
