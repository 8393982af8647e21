#include "engine/services/FileDateTime.h"

#include "common/TempFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

TEST(FileDateTime, ConversionsUseTheSameCalendarTime)
{
    // 1970-01-01 00:00 is day 25569 and FILETIME 116444736000000000.
    EXPECT_EQ(DateTimeToFileTime(25569.0), 116444736000000000ULL);
    EXPECT_EQ(DateTimeToFileTime(-109205.0), 0u);  // 1601-01-01
    EXPECT_EQ(DateTimeToFileTime(-200000.0), 0u);  // before 1601
    TDateTime dt = 0;
    ASSERT_TRUE(FileTimeToDateTime(116444736000000000ULL + 12ULL * 3600 * 10000000, dt));
    EXPECT_DOUBLE_EQ(dt, 25569.5);
    EXPECT_FALSE(FileTimeToDateTime(0x8000000000000000ULL, dt));
    // A round trip keeps milliseconds.
    const TFileTime t = 133000000001230000ULL;
    ASSERT_TRUE(FileTimeToDateTime(t, dt));
    EXPECT_LE(std::llabs(static_cast<long long>(DateTimeToFileTime(dt) - t)), 10000);
}

TEST(FileDateTime, LastWriteTimeRoundTrips)
{
    TTempFolder tmp;
    const std::string path = tmp / "page.htm";
    WriteTextFile(path, "<html>");
    TFileTime created = 0, written = 0;
    ASSERT_TRUE(GetExistingFileDate(path, created, written));
    EXPECT_GT(written, 116444736000000000ULL);
    const TFileTime serverTime = 116444736000000000ULL + 1000000000ULL * 10000000 + 5000000;  // 2001, +0.5 s
    EXPECT_TRUE(SetExistingFileDate(path, created, serverTime));
    TFileTime c2 = 0, w2 = 0;
    ASSERT_TRUE(GetExistingFileDate(path, c2, w2));
    EXPECT_EQ(w2, serverTime);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1000000000);
    // A time the file system cannot hold is refused; a missing file fails quietly.
    EXPECT_FALSE(SetExistingFileDate(path, 0, 5));
    EXPECT_FALSE(SetExistingFileDate(tmp / "missing", 0, serverTime));
    EXPECT_FALSE(GetExistingFileDate(tmp / "missing", c2, w2));
}
