#pragma once

#include "platform/platform.h"

namespace tarn {

// The settings file on disk, read and written line by line as a
// private-profile file: sections and keys are found whatever their case,
// the first of duplicates counts, and a missing file or section is created on
// write. A write changes the one line of its key, or adds one, and keeps
// every other byte of the file as it was.
class IniProfileStore final : public ProfileStore {
public:
    QString readString(const QString& section, const QString& key, const QString& defaultValue,
                       int bufferSize, const QString& filePath) override;
    bool writeString(const QString& section, const QString& key, const QString& value,
                     const QString& filePath) override;
};

} // namespace tarn
