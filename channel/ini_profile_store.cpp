#include "channel/ini_profile_store.h"

// Byte-transparent 8-bit text, as the profile functions treat it.
#define SI_NO_CONVERSION
#include <SimpleIni.h>

#include <QFile>

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace tarn {

namespace {

// File names travel in the platform's local 8-bit encoding; section, key
// and value text byte for byte, as the 8-bit profile functions do.
std::filesystem::path toPath(const QString& filePath)
{
    return std::filesystem::path(QFile::encodeName(filePath).toStdString());
}

enum class LoadResult { Loaded, Missing, Failed };

LoadResult load(CSimpleIniA& ini, const std::filesystem::path& path)
{
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return ec ? LoadResult::Failed : LoadResult::Missing;
    return ini.LoadFile(path.c_str()) < 0 ? LoadResult::Failed : LoadResult::Loaded;
}

} // namespace

QString IniProfileStore::readString(const QString& section, const QString& key,
                                    const QString& defaultValue, int bufferSize,
                                    const QString& filePath)
{
    CSimpleIniA ini(/*isUtf8=*/false, /*multiKey=*/false, /*multiLine=*/false);
    QString value = defaultValue;
    if (load(ini, toPath(filePath)) == LoadResult::Loaded) {
        const QByteArray s = section.toLocal8Bit();
        const QByteArray k = key.toLocal8Bit();
        if (const char* found = ini.GetValue(s.constData(), k.constData(), nullptr)) {
            value = QString::fromLocal8Bit(found);
            // Like the profile functions, a value enclosed in matching
            // single or double quotation marks is read without them.
            if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
                value.back() == value.front())
                value = value.mid(1, value.size() - 2);
        }
    }
    // The caller's buffer holds the value and its terminator.
    if (bufferSize <= 0)
        return {};
    return value.left(bufferSize - 1);
}

bool IniProfileStore::writeString(const QString& section, const QString& key, const QString& value,
                                  const QString& filePath)
{
    const std::filesystem::path path = toPath(filePath);
    CSimpleIniA ini(/*isUtf8=*/false, /*multiKey=*/false, /*multiLine=*/false);
    // A file that exists but cannot be read is left alone rather than
    // replaced by one that holds only the new key.
    if (load(ini, path) == LoadResult::Failed)
        return false;

    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
        // Like the profile functions, a read-only file is not replaced.
        FILE* probe = std::fopen(path.c_str(), "r+b");
        if (!probe)
            return false;
        std::fclose(probe);
    }

    const QByteArray s = section.toLocal8Bit();
    const QByteArray k = key.toLocal8Bit();
    const QByteArray v = value.toLocal8Bit();
    if (ini.SetValue(s.constData(), k.constData(), v.constData()) < 0)
        return false;

    // Write beside the file and move it into place, so that a failed write
    // never leaves a truncated settings file behind.
    std::filesystem::path temp = path;
    temp += ".new";
    if (ini.SaveFile(temp.c_str(), /*addSignature=*/false) < 0) {
        std::filesystem::remove(temp, ec);
        return false;
    }
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        return false;
    }
    return true;
}

} // namespace tarn
