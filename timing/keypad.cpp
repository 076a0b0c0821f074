#include "timing/keypad.h"

#include "app/main_window.h"

#include <cmath>

namespace tarn {

namespace {
const QString kDisplay = QStringLiteral("lblMainDisplay");
}

Keypad::Keypad(MainWindow& window, Keys keys, Entry entry)
    : window_(window), keys_(std::move(keys)), entry_(std::move(entry))
{
    FormModel& form = window_.form();
    form.onClick(keys_.digits, [this](int index) { NumberKey(index); });
    form.onClick(keys_.clear, [this](int) { ClearKey(); });
    form.onClick(keys_.units, [this](int index) { UnitKey(index); });
}

void Keypad::NumberKey(int index)
{
    Control& display = window_.form()(kDisplay);
    if (window_.state().DisplayShowsValue) {
        window_.state().DisplayShowsValue = false;
        display.caption.clear();
    }
    // No length limit and no check of the characters: an entry that cannot
    // be read is refused when it is entered.
    display.caption += window_.form()(keys_.digits, index).caption;
}

void Keypad::ClearKey()
{
    if (window_.state().DisplayShowsValue) {
        window_.OutputZero();
        return;
    }
    QString& text = window_.form()(kDisplay).caption;
    // One character, a surrogate pair included.
    qsizetype cut = 1;
    if (text.size() >= 2 && text.back().isLowSurrogate() && text.at(text.size() - 2).isHighSurrogate())
        cut = 2;
    text.chop(cut);
    if (text.isEmpty())
        window_.ShowDisplayText(QString());
}

void Keypad::UnitKey(int index)
{
    if (window_.state().DisplayShowsValue)
        return;
    const std::optional<double> typed = ReadEntry(window_);
    if (typed) {
        const double value = *typed * std::pow(1000.0, index - entry_.unitOffset);
        if (value >= entry_.lowest && value <= entry_.highest) {
            entry_.accept(value);
            return;
        }
    }
    RefuseEntry(window_, entry_.refusal(window_.numberFormat()));
}

std::optional<double> ReadEntry(MainWindow& window)
{
    return parseNumber(window.form()(kDisplay).caption, window.numberFormat());
}

void RefuseEntry(MainWindow& window, const QString& text)
{
    window.showMessage({QStringLiteral("Out of range"), text, MessageIcon::Exclamation,
                        MessageButtons::Ok});
    window.ShowDisplayText(QString());
}

QString PlainNumber(double value, const NumberFormat& fmt)
{
    return formatNumber(value, u"0.##########", fmt).value_or(QString());
}

} // namespace tarn
