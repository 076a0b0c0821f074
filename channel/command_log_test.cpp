#include "channel/command_log.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using namespace tarn;

namespace {

const QDateTime kAt(QDate(2026, 3, 4), QTime(9, 8, 7, 65));

TEST(CommandLog, LinesAreStampedMarkedAndBounded)
{
    EXPECT_EQ(CommandLog::lineFor(LogEntry::Piece, "A 2.0", kAt), "09:08:07.065  A 2.0");
    EXPECT_EQ(CommandLog::lineFor(LogEntry::Reply, "TARN V1", kAt), "09:08:07.065  [reply] TARN V1");
    EXPECT_EQ(CommandLog::lineFor(LogEntry::Fault, "no reply", kAt), "09:08:07.065  [fault] no reply");
    EXPECT_EQ(CommandLog::lineFor(LogEntry::UutSent, ":MEASure:VPP? CHANnel1", kAt),
              "09:08:07.065  [uut] > :MEASure:VPP? CHANnel1");
    EXPECT_EQ(CommandLog::lineFor(LogEntry::UutReceived, "1.04E+00", kAt), "09:08:07.065  [uut] < 1.04E+00");
    EXPECT_EQ(CommandLog::lineFor(LogEntry::UutFault, "no reply", kAt), "09:08:07.065  [uut] [fault] no reply");

    CommandLog log;
    int changes = 0;
    log.setListener([&] { ++changes; });
    const int total = static_cast<int>(CommandLog::kCapacity) + 5;
    for (int i = 0; i < total; ++i)
        log.add(LogEntry::Piece, QString::number(i), kAt);
    EXPECT_EQ(changes, total);
    EXPECT_EQ(log.added(), static_cast<std::uint64_t>(total));
    ASSERT_EQ(log.lines().size(), CommandLog::kCapacity);
    EXPECT_EQ(log.lines().front(), "09:08:07.065  5");
    EXPECT_EQ(log.lines().back(), "09:08:07.065  " + QString::number(total - 1));
    log.clear();
    EXPECT_TRUE(log.lines().empty());
    EXPECT_TRUE(log.text().isEmpty());
    EXPECT_EQ(changes, total + 1);
}

TEST(CommandLog, SavedAsUtf8Text)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    CommandLog log;
    log.add(LogEntry::Piece, "P 0.000015", kAt);
    log.add(LogEntry::Fault, "line error: 5 \u00b5s gone", kAt);
    const QString path = dir.filePath("log.txt");
    QString reason;
    ASSERT_TRUE(log.save(path, &reason)) << reason.toStdString();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()),
              "09:08:07.065  P 0.000015\n09:08:07.065  [fault] line error: 5 \u00b5s gone\n");
    EXPECT_FALSE(log.save(dir.filePath("missing/log.txt"), &reason));
    EXPECT_FALSE(reason.isEmpty());
}

} // namespace
