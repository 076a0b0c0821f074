#pragma once
// The communications settings: the serial port in the settings file
// (section "Tarn", key "Serial Port"), and Apply, which saves the port and
// opens the link again.

#include "platform/platform.h"

#include <QString>

#include <optional>

namespace tarn {

class CalibratorLink;
class CommandChannel;

class CommSettings {
public:
    CommSettings(const Services& services, CommandChannel& channel, CalibratorLink& link);

    // The saved port: a whole number from 1 to 9 after rounding (halves
    // to the even neighbour), else 1; the file is left as it is.
    int Load(const QString& settingsFile, const NumberFormat& format);
    // Saves the chosen row's text ("1" to "9"); the port it names, or none
    // when no row is chosen. A file that cannot be written is said, and
    // the port holds for this run.
    std::optional<int> Save(const QString& settingsFile, const QString& chosen);
    // After a save: the link opened again under the busy indication, within
    // a pause of 2000 ms in all, and its fault reported.
    void Reopen(const QString& settingsFile, int serialPort);

private:
    const Services& services_;
    CommandChannel& channel_;
    CalibratorLink& link_;
};

} // namespace tarn
