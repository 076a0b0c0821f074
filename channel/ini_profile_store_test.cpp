#include "channel/ini_profile_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The whole literal, NUL bytes included.
template <size_t N>
QByteArray bytes(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

// A store and the path of a settings file in a fresh folder.
struct Scratch {
    QString serialPort() { return store.readString("Tarn", "Serial Port", "", 64, path); }
    bool setSerialPort(const QString& value) { return store.writeString("Tarn", "Serial Port", value, path); }
    QTemporaryDir dir;
    IniProfileStore store;
    const QString path = dir.filePath("TarnApp.ini");
};

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

TEST(IniProfileStore, ANewFileHoldsTheSectionAndKeyWithCrLf)
{
    Scratch s;
    ASSERT_TRUE(s.setSerialPort("1"));
    EXPECT_EQ(readBytes(s.path), "[Tarn]\r\nSerial Port=1\r\n");
    EXPECT_EQ(QDir(s.dir.path()).entryList(QDir::Files), QStringList{"TarnApp.ini"});
}

// A write changes the one line of the key (or adds it at the end of its
// section, or the section at the end of the file) and keeps every other byte.
TEST(IniProfileStore, WriteChangesOnlyTheLineOfTheKey)
{
    struct Case {
        const char* what;
        QByteArray before;
        QByteArray after;
    };
    const Case cases[] = {
        {"hand-edited file with CR LF",
         "[Tarn]\r\n; port of the bench PC\r\nSerial Port=3\r\nremember: use the grey cable\r\n"
         "[Other]\r\nKey=Value\r\nKey=Second\r\n; end of file\r\n",
         "[Tarn]\r\n; port of the bench PC\r\nSerial Port=5\r\nremember: use the grey cable\r\n"
         "[Other]\r\nKey=Value\r\nKey=Second\r\n; end of file\r\n"},
        {"the key keeps its spelling, the line loses its spacing",
         "[TARN]\n  serial port = 3 \nBaud = 9600\n", "[TARN]\nserial port=5\nBaud = 9600\n"},
        {"empty file", "", "[Tarn]\r\nSerial Port=5\r\n"},
        {"key added after the last entry of its section",
         "[Tarn]\nBaud=9600\nnote\n\n; about Other\n[Other]\nA=1\n",
         "[Tarn]\nBaud=9600\nnote\nSerial Port=5\n\n; about Other\n[Other]\nA=1\n"},
        {"key added right after a header with only comments",
         "[Tarn]\n; nothing yet\n", "[Tarn]\nSerial Port=5\n; nothing yet\n"},
        {"key added to a last line without line end", "[Tarn]\r\nBaud=9600",
         "[Tarn]\r\nBaud=9600\r\nSerial Port=5"},
        {"key replaced on a last line without line end", "[Tarn]\nSerial Port=3",
         "[Tarn]\nSerial Port=5"},
        {"section added, file ends with a line end", "; a note\n", "; a note\n[Tarn]\nSerial Port=5\n"},
        {"section added, file ends without one", "[Other]\nA=1", "[Other]\nA=1\n[Tarn]\nSerial Port=5"},
        {"a key outside any section is not the key", "Serial Port=3\n[Tarn]\n",
         "Serial Port=3\n[Tarn]\nSerial Port=5\n"},
        {"first section and first key written, duplicates kept",
         "[Tarn]\nSerial Port=3\nSerial Port=4\n[tarn]\nSerial Port=6\n",
         "[Tarn]\nSerial Port=5\nSerial Port=4\n[tarn]\nSerial Port=6\n"},
        {"a \"[\" without \"]\" does not end the section", "[Tarn]\n[\nSerial Port=3\n",
         "[Tarn]\n[\nSerial Port=5\n"},
        {"odd lines, NUL and non-UTF-8 bytes kept",
         bytes("[Tarn]\n=orphan\nA=\0x\n\xe9t\xe9=\xff\nSerial Port=3\n"),
         bytes("[Tarn]\n=orphan\nA=\0x\n\xe9t\xe9=\xff\nSerial Port=5\n")},
        {"UTF-8 signature kept", "\xEF\xBB\xBF[Tarn]\r\nSerial Port=3\r\n",
         "\xEF\xBB\xBF[Tarn]\r\nSerial Port=5\r\n"},
        {"a file of the signature alone is empty", "\xEF\xBB\xBF",
         "\xEF\xBB\xBF[Tarn]\r\nSerial Port=5\r\n"},
        // A CR alone ends a line as LF and CR LF do.
        {"a lone CR among CR LF", "[Tarn]\r\nSerial Port=3\rBaud=9600\r\n[X]\r\n",
         "[Tarn]\r\nSerial Port=5\rBaud=9600\r\n[X]\r\n"},
        {"lines ended by CR alone", "[Tarn]\rSerial Port=3\rBaud=9600\r",
         "[Tarn]\rSerial Port=5\rBaud=9600\r"},
        {"key added in a file of lone CRs", "[Tarn]\rBaud=9600\r[X]\rA=1\r",
         "[Tarn]\rBaud=9600\rSerial Port=5\r[X]\rA=1\r"},
        {"section added after a last lone CR", "[X]\rA=1\r", "[X]\rA=1\r[Tarn]\rSerial Port=5\r"},
        {"LF CR is two line ends", "[Tarn]\n\rSerial Port=3\n", "[Tarn]\n\rSerial Port=5\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Scratch s;
        writeAll(s.path, c.before);
        ASSERT_TRUE(s.setSerialPort("5"));
        EXPECT_EQ(readBytes(s.path), c.after);
        EXPECT_EQ(s.serialPort(), "5");
        // Writing the same value again changes nothing.
        ASSERT_TRUE(s.setSerialPort("5"));
        EXPECT_EQ(readBytes(s.path), c.after);
    }
}

TEST(IniProfileStore, ReadFindsTheFirstSectionAndKeyPastOddLines)
{
    const struct {
        const char* what;
        QByteArray text;
        const char* value;
    } cases[] = {
        {"duplicates", "[Tarn]\nSerial Port=3\nSerial Port=4\n[TARN]\nSerial Port=6\n", "3"},
        {"key only in a later duplicate section", "[Tarn]\nA=1\n[Tarn]\nSerial Port=6\n", ""},
        {"stray \"[\" and a NUL before the key", bytes("[Tarn]\n[\nA=\0\nSerial Port=4\n"), "4"},
        {"key before any section", "Serial Port=4\n[Tarn]\n", ""},
        {"UTF-8 signature", "\xEF\xBB\xBF[Tarn]\r\nSerial Port=7\r\n", "7"},
        {"CR LF and tabs around the value", "[ Tarn ]\r\n\tSerial Port\t=\t8\t\r\n", "8"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Scratch s;
        writeAll(s.path, c.text);
        EXPECT_EQ(s.serialPort(), c.value);
    }
}

TEST(IniProfileStore, TextThatWouldBreakTheFileIsNotWritten)
{
    Scratch s;
    writeAll(s.path, "[Tarn]\nSerial Port=3\n");
    EXPECT_FALSE(s.setSerialPort("5\n[Evil]\nA=1"));
    EXPECT_FALSE(s.setSerialPort(QString("5\r")));
    EXPECT_FALSE(s.store.writeString("Tarn", "Port=2", "5", s.path));
    EXPECT_FALSE(s.store.writeString("Tarn", "", "5", s.path));
    EXPECT_FALSE(s.store.writeString("Tarn", "; Port", "5", s.path));
    EXPECT_FALSE(s.store.writeString("Ta]rn", "Serial Port", "5", s.path));
    // Values that would read back otherwise than written.
    for (const char* value : {" 5", "5 ", "\t5", "\"5\"", "'5'"})
        EXPECT_FALSE(s.setSerialPort(value)) << value;
    EXPECT_TRUE(s.store.writeString("Tarn", "Note", "\"5", s.path));
    EXPECT_EQ(readBytes(s.path), "[Tarn]\nSerial Port=3\nNote=\"5\n");
}

TEST(IniProfileStore, ReplacedFileKeepsItsPermissions)
{
    Scratch s;
    writeAll(s.path, "[Tarn]\nSerial Port=3\n");
    ASSERT_EQ(chmod(QFile::encodeName(s.path).constData(), 0640), 0);
    ASSERT_TRUE(s.setSerialPort("4"));
    struct stat st {};
    ASSERT_EQ(stat(QFile::encodeName(s.path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(IniProfileStore, MissingFolderFails)
{
    QTemporaryDir dir;
    IniProfileStore store;
    EXPECT_FALSE(store.writeString("Tarn", "Serial Port", "4", dir.filePath("missing/TarnApp.ini")));
    writeAll(dir.filePath("plain"), "not a folder");
    EXPECT_FALSE(store.writeString("Tarn", "Serial Port", "4", dir.filePath("plain/TarnApp.ini")));
    EXPECT_EQ(readAll(dir.filePath("plain")), "not a folder");
    // A settings path that names a folder is neither read nor replaced.
    ASSERT_TRUE(QDir(dir.path()).mkdir("TarnApp.ini"));
    EXPECT_FALSE(store.writeString("Tarn", "Serial Port", "4", dir.filePath("TarnApp.ini")));
    EXPECT_TRUE(QFileInfo(dir.filePath("TarnApp.ini")).isDir());
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

    // A file that cannot be read is not replaced by one holding only the key.
    const QString unreadable = dir.filePath("Unreadable.ini");
    writeAll(unreadable, "[Tarn]\nSerial Port=3\n; more\n");
    ASSERT_EQ(chmod(QFile::encodeName(unreadable).constData(), 0200), 0);
    EXPECT_FALSE(store.writeString("Tarn", "Serial Port", "4", unreadable));
    ASSERT_EQ(chmod(QFile::encodeName(unreadable).constData(), 0600), 0);
    EXPECT_EQ(readBytes(unreadable), "[Tarn]\nSerial Port=3\n; more\n");

    QTemporaryDir locked;
    ASSERT_EQ(chmod(QFile::encodeName(locked.path()).constData(), 0555), 0);
    EXPECT_FALSE(store.writeString("Tarn", "Serial Port", "4", locked.filePath("TarnApp.ini")));
    chmod(QFile::encodeName(locked.path()).constData(), 0755);
}
