#include "channel/settings.h"

#include "channel/command_channel.h"
#include "channel/link.h"
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

CommSettings::CommSettings(const Services& services, CommandChannel& channel, CalibratorLink& link)
    : services_(services), channel_(channel), link_(link)
{
}

int CommSettings::Load(const QString& settingsFile, const NumberFormat& format)
{
    const QString stored =
        services_.profile->readString(kSection, kKey, QStringLiteral("1"), kValueBuffer, settingsFile);
    int port = 1;
    if (const auto number = parseNumber(stored.trimmed(), format)) {
        const double rounded = std::nearbyint(*number);
        if (rounded >= 1 && rounded <= 9)
            port = static_cast<int>(rounded);
    }
    return port;
}

std::optional<int> CommSettings::Save(const QString& settingsFile, const QString& chosen)
{
    const auto number = parseNumber(chosen, NumberFormat::invariant());
    if (!number)
        return std::nullopt;  // no row chosen: nothing to save
    if (!services_.profile->writeString(kSection, kKey, chosen, settingsFile)) {
        // The port holds for this run; say that it will not survive it.
        services_.messages->show({QStringLiteral("Warning"),
                                  QStringLiteral("The settings could not be saved to ") + settingsFile +
                                      QStringLiteral(".\r\rThe chosen port is used until the program ends."),
                                  MessageIcon::Exclamation, MessageButtons::Ok});
    }
    return static_cast<int>(*number);
}

void CommSettings::Reopen(const QString& settingsFile, int serialPort)
{
    channel_.BeginBusy();
    // A transport re-opens the line within the busy period.
    const qint64 spent = link_.Open(settingsFile, serialPort);
    services_.pauses->sleep(static_cast<int>(std::max<qint64>(0, kApplyPauseMs - spent)));
    channel_.EndBusy();
    link_.ReportFault();
}

} // namespace tarn
