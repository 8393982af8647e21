#include "engine/PasswordMgr.h"

#include <gtest/gtest.h>
#include <thread>

TEST(PasswordMgr, TableLimitAndCaseInsensitiveHosts)
{
    TPasswordManager pm;
    for (int i = 0; i < TPasswordManager::MaxPasswords; ++i)
        ASSERT_TRUE(pm.PutPassword({"host" + std::to_string(i) + ".example", "u", "p"}));
    EXPECT_FALSE(pm.PutPassword({"one-too-many.example", "u", "p"}));
    EXPECT_EQ(pm.Count(), 100);
    TPasswordRec rec;
    EXPECT_FALSE(pm.FindPassword("one-too-many.example", rec));
    // An existing host in other letter case replaces its record even when the table is full.
    EXPECT_TRUE(pm.PutPassword({"HOST7.Example", "user7", "secret7"}));
    EXPECT_EQ(pm.Count(), 100);
    ASSERT_TRUE(pm.FindPassword("host7.example", rec));
    EXPECT_EQ(rec.Host, "HOST7.Example");
    EXPECT_EQ(rec.Username, "user7");
    EXPECT_EQ(rec.Password, "secret7");
}

TEST(PasswordMgr, RemoveKeepsOrderAndFreesASlot)
{
    TPasswordManager pm;
    pm.PutPassword({"a", "1", ""});
    pm.PutPassword({"b", "2", ""});
    pm.PutPassword({"c", "3", ""});
    EXPECT_TRUE(pm.RemovePassword("B"));
    EXPECT_FALSE(pm.RemovePassword("b"));
    EXPECT_EQ(pm.Count(), 2);
    TPasswordRec rec;
    ASSERT_TRUE(pm.FindPassword("c", rec));
    EXPECT_EQ(rec.Username, "3");
    EXPECT_FALSE(pm.FindPassword("b", rec));
    // Only ASCII letters fold: a non-ASCII byte must match exactly.
    pm.PutPassword({"\xC3\xA9.example", "e", ""});
    EXPECT_FALSE(pm.FindPassword("\xC3\x89.example", rec));
}

TEST(PasswordMgr, ReadersSeeWholeRecordsWhileTheTableChanges)
{
    TPasswordManager pm;
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int i = 0; i < 2000; ++i) {
            std::string n = std::to_string(i);
            pm.PutPassword({"h", "user" + n, "pass" + n});
            if (i % 3 == 0)
                pm.RemovePassword("h");
        }
        stop = true;
    });
    while (!stop) {
        TPasswordRec rec;
        if (pm.FindPassword("H", rec)) {
            ASSERT_EQ(rec.Username.substr(4), rec.Password.substr(4));
        }
    }
    writer.join();
}
