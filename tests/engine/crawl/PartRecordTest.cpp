#include "engine/crawl/PartRecord.h"

#include "common/TempFolder.h"
#include "engine/services/WorkingFiles.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

constexpr time_t kModified = 1600000000;
const std::string kAddress = "http://h.com/a.bin";

TEST(PartRecord, TheAnswersValidatorNamesTheVersionOnlyWhenItIsAStrongOne)
{
    TPartRecord r;
    EXPECT_TRUE(PartRecordForAnswer(kAddress, "\"v1\"", true, kModified, true, kModified + 3600, r));
    EXPECT_EQ("\"v1\"", r.IfRange());
    // A tag that is weak or malformed gives way to the date, when that is a minute older than the answer.
    for (const std::string& tag : std::initializer_list<std::string>{"W/\"v1\"", "v1", "\"a\"b\"", "\"a b\"", "\"a\r\nX: y\"", "\"" + std::string(2000, 'e') + "\"", ""}) {
        SCOPED_TRACE(tag);
        EXPECT_FALSE(IsStrongETag(tag));
        EXPECT_TRUE(PartRecordForAnswer(kAddress, tag, true, kModified, true, kModified + 60, r));
        EXPECT_EQ("Sun, 13 Sep 2020 12:26:40 GMT", r.IfRange());
        EXPECT_FALSE(PartRecordForAnswer(kAddress, tag, true, kModified, true, kModified + 59, r));
        EXPECT_FALSE(PartRecordForAnswer(kAddress, tag, true, kModified, false, 0, r));
        EXPECT_FALSE(PartRecordForAnswer(kAddress, tag, false, 0, true, kModified + 3600, r));
    }
    EXPECT_FALSE(PartRecordForAnswer("http://h.com/a\nb", "\"v1\"", false, 0, false, 0, r));

    // An answer to If-Range that says which version it holds must hold the recorded one.
    r = {kAddress, "\"v1\"", 0};
    EXPECT_TRUE(r.SameVersion("\"v1\"", true, kModified));
    EXPECT_TRUE(r.SameVersion("", false, 0));
    EXPECT_FALSE(r.SameVersion("\"v2\"", true, kModified));
    r = {kAddress, "", kModified};
    EXPECT_TRUE(r.SameVersion("\"v2\"", true, kModified));
    EXPECT_FALSE(r.SameVersion("", true, kModified + 1));
}

TEST(PartRecord, OnlyAWholeSoundRecordIsRead)
{
    TTempFolder temp;
    const std::string local = temp / "a.bin";
    TPartRecord read;
    EXPECT_FALSE(ReadPartRecord(local, read));
    for (const TPartRecord& written : {TPartRecord{kAddress, "\"v1\"", 0}, TPartRecord{kAddress, "", kModified}}) {
        ASSERT_TRUE(WritePartRecord(local, written));
        ASSERT_TRUE(ReadPartRecord(local, read));
        EXPECT_EQ(written.address, read.address);
        EXPECT_EQ(written.etag, read.etag);
        EXPECT_EQ(written.lastModified, read.lastModified);
    }
    EXPECT_FALSE(WritePartRecord(local, {kAddress, "W/\"v1\"", 0}));
    EXPECT_FALSE(WritePartRecord(local, {kAddress, "", 0}));

    const std::string good = ReadTextFile(PartRecordName(local));
    for (const std::string& damaged : std::initializer_list<std::string>
         {good.substr(0, good.size() - 1), good + "more\n", "Gleanery part 2\n" + good.substr(good.find('\n') + 1),
          "Gleanery part 1\n" + kAddress + "\netag W/\"v1\"\n", "Gleanery part 1\n" + kAddress + "\ndate 0\n",
          "Gleanery part 1\n" + kAddress + "\ndate 16x\n", "Gleanery part 1\n\ndate 16\n",
          "Gleanery part 1\nhttp://h.com/\x01\ndate 16\n", "Gleanery part 1\n" + kAddress + "\n" + std::string(9000, 'x') + "\n"}) {
        SCOPED_TRACE(damaged.substr(0, 60));
        WriteTextFile(PartRecordName(local), damaged);
        EXPECT_FALSE(ReadPartRecord(local, read));
    }
    // A record behind a symbolic link is none.
    std::filesystem::remove(PartRecordName(local));
    WriteTextFile(temp / "elsewhere", good);
    std::filesystem::create_symlink(temp / "elsewhere", PartRecordName(local));
    EXPECT_FALSE(ReadPartRecord(local, read));
    EXPECT_FALSE(WritePartRecord(local, {kAddress, "\"v1\"", 0}));
    EXPECT_EQ(good, ReadTextFile(temp / "elsewhere"));
}

}  // namespace
