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
