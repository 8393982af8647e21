#include "engine/job/PasswordFile.h"

#include "common/TempFolder.h"

#include <gtest/gtest.h>

// "ann" / "s3cret" and "bob" / "pw" in Base64; "abc" is no Base64 of any text.
TEST(PasswordFile, EntriesAreReadIntoTheStoreAndBadEntriesAreSkipped)
{
    TTempFolder temp;
    const std::string file = temp / kPasswordFileName;
    WriteTextFile(file, "[Security]\nCount=4\nHost0=dig.example\nU0=YW5u\nP0=czNjcmV0\n"
                        "Host1=bad.example\nU1=abc\nP1=czNjcmV0\nHost2=\nU2=Ym9i\nP2=cHc=\n"
                        "Host3=127.0.0.1:8080\nU3=Ym9i\nP3=cHc=\n");
    TPasswordManager store;
    EXPECT_FALSE(LoadPasswordFileIntoStore(file, store));  // not whole: two entries unreadable
    EXPECT_EQ(store.Count(), 2);
    TPasswordRec rec;
    ASSERT_TRUE(store.FindPassword("dig.example", rec));
    EXPECT_EQ(rec.Username, "ann");
    EXPECT_EQ(rec.Password, "s3cret");
    ASSERT_TRUE(store.FindPassword("127.0.0.1:8080", rec));
    EXPECT_EQ(rec.Username, "bob");

    // A missing file holds no entries and is read whole; a count beyond the keys is not whole.
    std::vector<TPasswordRec> records;
    bool whole = false;
    EXPECT_TRUE(ReadPasswordFile(temp / "none.ini", records, whole));
    EXPECT_TRUE(whole);
    EXPECT_TRUE(records.empty());
    WriteTextFile(file, "[Security]\nCount=50\nHost0=dig.example\nU0=YW5u\nP0=czNjcmV0\n");
    EXPECT_TRUE(ReadPasswordFile(file, records, whole));
    EXPECT_FALSE(whole);
    EXPECT_EQ(records.size(), 1u);
}

// A shorter list leaves no entries of the longer one behind; an unread file is kept, not lost.
TEST(PasswordFile, WrittenListsReadBackWholeAndUnreadFilesAreKept)
{
    TTempFolder temp;
    const std::string file = temp / kPasswordFileName;
    const std::vector<TPasswordRec> three = {
        {"a.example", "ann", "s=3"}, {"b.example", "bob", "pw"}, {"c.example:8080", "cy", "x y"}};
    ASSERT_TRUE(WritePasswordFile(file, three));
    ASSERT_TRUE(WritePasswordFile(file, {three[1]}));
    std::vector<TPasswordRec> records;
    bool whole = false;
    ASSERT_TRUE(ReadPasswordFile(file, records, whole));
    EXPECT_TRUE(whole);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].Username, "bob");
    EXPECT_EQ(ReadTextFile(file).find("Host1"), std::string::npos);

    std::string kept;
    EXPECT_TRUE(KeepUnreadPasswordFile(temp / "none.ini", kept));
    EXPECT_TRUE(kept.empty());
    WriteTextFile(file + ".bak", "older");
    ASSERT_TRUE(KeepUnreadPasswordFile(file, kept));
    EXPECT_EQ(kept, file + ".bak2");
    EXPECT_NE(ReadTextFile(kept).find("Host0=b.example"), std::string::npos);
    EXPECT_EQ(ReadTextFile(file + ".bak"), "older");
}
