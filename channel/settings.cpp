#include "app/main_window.h"
#include "channel/number_format.h"

#include <algorithm>
#include <cmath>

namespace tarn {

namespace {
const QString kSection = QStringLiteral("Tarn");
const QString kKey = QStringLiteral("Serial Port");
constexpr int kValueBuffer = 64;
constexpr int kApplyPauseMs = 2000;
} // namespace

void MainWindow::LoadSettings()
{
    const QString stored = services_.profile->readString(kSection, kKey, QStringLiteral("1"),
                                                         kValueBuffer, state_.SettingsFilePath);
    // Anything that is not a whole port number from 1 to 9 after rounding
    // (halves to the even neighbour) gives port 1; the file is left as it is.
    int port = 1;
    if (const auto number = parseNumber(stored.trimmed(), numberFormat())) {
        const double rounded = std::nearbyint(*number);
        if (rounded >= 1 && rounded <= 9)
            port = static_cast<int>(rounded);
    }
    SerialPortNumber = static_cast<std::int16_t>(port);
    form_.setListIndex(QStringLiteral("cboSerialPort"), kNoIndex, SerialPortNumber - 1);
}

void MainWindow::SaveSettings()
{
    const QString text = form_(QStringLiteral("cboSerialPort")).listText();
    const auto number = parseNumber(text, NumberFormat::invariant());
    if (!number)
        return;  // no row chosen: nothing to save
    SerialPortNumber = static_cast<std::int16_t>(*number);
    if (!services_.profile->writeString(kSection, kKey, text, state_.SettingsFilePath)) {
        // The port holds for this run; say that it will not survive it.
        showMessage({QStringLiteral("Warning"),
                     QStringLiteral("The settings could not be saved to ") + state_.SettingsFilePath +
                         QStringLiteral(".\r\rThe chosen port is used until the program ends."),
                     MessageIcon::Exclamation, MessageButtons::Ok});
    }
}

void MainWindow::Apply()
{
    SaveSettings();
    BeginBusy();
    // A transport re-opens the line within the busy period.
    const qint64 spent = OpenLink();
    services_.pauses->sleep(static_cast<int>(std::max<qint64>(0, kApplyPauseMs - spent)));
    EndBusy();
    ReportLinkFault();
}

} // namespace tarn
