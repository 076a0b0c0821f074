#include "channel/ini_profile_store.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace tarn;

namespace {

QString readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()) : QString();
}

void writeAll(const QString& path, const QByteArray& text)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
}

} // namespace

TEST(IniProfileStore, MissingFileSectionOrKeyGiveTheDefault)
{
    QTemporaryDir dir;
    IniProfileStore store;
    const QString path = dir.filePath("TarnApp.ini");
    EXPECT_EQ(store.readString("Tarn", "Serial Port", "1", 64, path), "1");
    writeAll(path, "[Other]\nSerial Port=5\n");
    EXPECT_EQ(store.readString("Tarn", "Serial Port", "1", 64, path), "1");
    writeAll(path, "[Tarn]\nBaud=9600\n");
    EXPECT_EQ(store.readString("Tarn", "Serial Port", "1", 64, path), "1");
}

TEST(IniProfileStore, SectionAndKeyAreFoundWhateverTheirCase)
{
    QTemporaryDir dir;
    IniProfileStore store;
    const QString path = dir.filePath("TarnApp.ini");
    writeAll(path, "[TARN]\nserial port = 6 \n");
    EXPECT_EQ(store.readString("Tarn", "Serial Port", "1", 64, path), "6");

    ASSERT_TRUE(store.writeString("Tarn", "Serial Port", "2", path));
    EXPECT_EQ(store.readString("tarn", "SERIAL PORT", "1", 64, path), "2");
    EXPECT_EQ(readAll(path).count("erial"), 1);  // replaced, not added twice
}

TEST(IniProfileStore, QuotesAroundTheValueAreDropped)
{
    QTemporaryDir dir;
    IniProfileStore store;
    const QString path = dir.filePath("TarnApp.ini");
    writeAll(path, "[Tarn]\nSerial Port=\"4\"\nA='5'\nB=\"6'\nC=\"\n");
    EXPECT_EQ(store.readString("Tarn", "Serial Port", "1", 64, path), "4");
    EXPECT_EQ(store.readString("Tarn", "A", "", 64, path), "5");
    EXPECT_EQ(store.readString("Tarn", "B", "", 64, path), "\"6'");
    EXPECT_EQ(store.readString("Tarn", "C", "", 64, path), "\"");
}

TEST(IniProfileStore, ValueIsCutToTheBuffer)
{
    QTemporaryDir dir;
    IniProfileStore store;
    const QString path = dir.filePath("TarnApp.ini");
    writeAll(path, "[Tarn]\nSerial Port=" + QByteArray(100, '7') + "\n");
    EXPECT_EQ(store.readString("Tarn", "Serial Port", "1", 64, path).size(), 63);
}

TEST(IniProfileStore, WriteCreatesFileAndSectionAndKeepsTheRest)
{
    QTemporaryDir dir;
    IniProfileStore store;
    const QString path = dir.filePath("TarnApp.ini");
    ASSERT_TRUE(store.writeString("Tarn", "Serial Port", "1", path));
    EXPECT_EQ(store.readString("Tarn", "Serial Port", "9", 64, path), "1");

    writeAll(path, "; written by the technician\n[Bench]\nLabel=Bay 4\n\n[Tarn]\n; keep me\nSerial Port=3\nBaud=9600\n");
    ASSERT_TRUE(store.writeString("Tarn", "Serial Port", "7", path));
    const QString text = readAll(path);
    EXPECT_TRUE(text.contains("; written by the technician")) << text.toStdString();
    EXPECT_TRUE(text.contains("; keep me")) << text.toStdString();
    EXPECT_EQ(store.readString("Bench", "Label", "", 64, path), "Bay 4");
    EXPECT_EQ(store.readString("Tarn", "Baud", "", 64, path), "9600");
    EXPECT_EQ(store.readString("Tarn", "Serial Port", "", 64, path), "7");
    EXPECT_FALSE(QFile::exists(path + ".new"));
}

TEST(IniProfileStore, MissingFolderFails)
{
    QTemporaryDir dir;
    IniProfileStore store;
    EXPECT_FALSE(store.writeString("Tarn", "Serial Port", "4", dir.filePath("missing/TarnApp.ini")));
    writeAll(dir.filePath("plain"), "not a folder");
    EXPECT_FALSE(store.writeString("Tarn", "Serial Port", "4", dir.filePath("plain/TarnApp.ini")));
    EXPECT_EQ(readAll(dir.filePath("plain")), "not a folder");
}

TEST(IniProfileStore, ReadOnlyFileOrFolderFailsWithoutLosingTheFile)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "file permissions do not bind the superuser";
    QTemporaryDir dir;
    IniProfileStore store;
    const QString path = dir.filePath("TarnApp.ini");
    writeAll(path, "[Tarn]\nSerial Port=3\n");
    ASSERT_EQ(chmod(QFile::encodeName(path).constData(), 0444), 0);
    EXPECT_FALSE(store.writeString("Tarn", "Serial Port", "4", path));
    EXPECT_EQ(store.readString("Tarn", "Serial Port", "", 64, path), "3");

    QTemporaryDir locked;
    ASSERT_EQ(chmod(QFile::encodeName(locked.path()).constData(), 0555), 0);
    EXPECT_FALSE(store.writeString("Tarn", "Serial Port", "4", locked.filePath("TarnApp.ini")));
    chmod(QFile::encodeName(locked.path()).constData(), 0755);
}
