#pragma once

#include "app/platform.h"

namespace tarn {

// The settings file on disk, read and written with SimpleIni so that it
// behaves like a private-profile file: sections and keys are found whatever
// their case, a missing file or section is created on write, and the other
// sections, keys and comments of the file are kept.
class IniProfileStore final : public ProfileStore {
public:
    QString readString(const QString& section, const QString& key, const QString& defaultValue,
                       int bufferSize, const QString& filePath) override;
    bool writeString(const QString& section, const QString& key, const QString& value,
                     const QString& filePath) override;
};

} // namespace tarn
