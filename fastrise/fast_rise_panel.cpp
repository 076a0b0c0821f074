#include "fastrise/fast_rise_panel.h"

#include "app/main_window.h"
#include "channel/number_format.h"

#include <cmath>

namespace tarn {

namespace {
const QString kDisplay = QStringLiteral("lblMainDisplay");
const QString kEntry = QStringLiteral("txtRiseTime");
const QString kTitle = QStringLiteral("Bandwidth Calculator");
constexpr double kBandwidthFactor = 350.0;  // MHz times ns
} // namespace

FastRisePanel::FastRisePanel(MainWindow& window) : window_(window)
{
    window_.form().onClick(QStringLiteral("cmdCalcRiseTime"), [this](int) { Calculate(); });
}

void FastRisePanel::SelectFastRise()
{
    // Written directly: the prompt is not a value to remember.
    window_.form()(kDisplay).caption = QStringLiteral("Enter measured\rrise time");
    window_.form()(kEntry).caption.clear();
    window_.SendCommand(QStringLiteral("FR"));
}

FastRisePanel::Bandwidth FastRisePanel::ExactBandwidth(double t)
{
    using Outcome = Bandwidth::Outcome;
    const double x = t * t - InstrumentRiseTime * InstrumentRiseTime;
    // A rise time so long that its square overflows has no bandwidth to
    // show; it is a failed calculation, not 0 MHz.
    if (!std::isfinite(x))
        return {Outcome::Failed};
    if (x <= 0)
        return {Outcome::TooShort};
    return {Outcome::Shown, kBandwidthFactor / std::sqrt(x)};
}

FastRisePanel::Bandwidth FastRisePanel::RoundedBandwidth(double t)
{
    using Outcome = Bandwidth::Outcome;
    const Bandwidth exact = ExactBandwidth(t);
    if (exact.outcome != Outcome::Shown)
        return exact;
    const double b = exact.megahertz;
    if (b < 20)
        return {Outcome::Shown, std::floor(b + 0.5)};
    if (b < 100)
        return {Outcome::Shown, 5 * std::floor(b / 5 + 0.5)};
    return {Outcome::Shown, 10 * std::floor(b / 10 + 0.5)};
}

void FastRisePanel::Calculate()
{
    const NumberFormat fmt = window_.numberFormat();
    const std::optional<double> riseTime = parseNumber(window_.form()(kEntry).caption, fmt);
    const Bandwidth bandwidth = riseTime ? RoundedBandwidth(*riseTime) : Bandwidth{};
    if (bandwidth.outcome == Bandwidth::Outcome::Failed) {
        const QString zero = formatNumber(0.0, u"0.0", fmt).value_or(QStringLiteral("0.0"));
        window_.showMessage(
            {kTitle,
             QStringLiteral("An error occurred that meant the calculation could not be performed.\r"
                            "Make sure that only digits (0-9) and a decimal point (")
                 + MainWindow::decimalSeparatorOf(zero) + QStringLiteral(") are in your entry."),
             MessageIcon::Exclamation, MessageButtons::Ok});
        return;
    }
    if (bandwidth.outcome == Bandwidth::Outcome::TooShort) {
        window_.showMessage({kTitle, QStringLiteral("Rise Time is too short - cannot calculate Bandwidth"),
                             MessageIcon::Exclamation, MessageButtons::Ok});
        window_.form()(kDisplay).caption = QStringLiteral("Enter rise time");
        window_.form()(kEntry).caption.clear();
        return;
    }
    window_.form()(kDisplay).caption = QStringLiteral("Bandwidth: ")
                                       + formatNumber(bandwidth.megahertz, u"0", fmt).value_or(QString())
                                       + QStringLiteral(" MHz");
}

} // namespace tarn
