#include "engine/job/PasswordMgr.h"

#include "engine/job/URLType.h"

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

TEST(PasswordMgr, SitesAreLookedUpByHostAndNonDefaultPort)
{
    auto url = [](const char* text) {
        TURL u;
        u.SetFullURL(text);
        return u;
    };
    EXPECT_EQ(PasswordKeyOf(url("http://LocalHost:19701/a")), "localhost:19701");
    EXPECT_EQ(PasswordKeyOf(url("http://user:pw@Example.com:80/")), "example.com");
    EXPECT_EQ(PasswordKeyOf(url("https://example.com/")), "example.com");
    EXPECT_EQ(PasswordKeyOf(url("https://example.com:80/")), "example.com:80");
    EXPECT_EQ(PasswordKeyOf(url("ftp://files.example:2121/x")), "files.example:2121");

    TPasswordManager pm;
    pm.PutPassword({"localhost:19701", "on-port", "1"});
    pm.PutPassword({"example.com", "plain", "2"});
    pm.PutPassword({"old.example:443", "old-form", "3"});
    TPasswordRec rec;
    ASSERT_TRUE(pm.FindPasswordFor(url("http://localhost:19701/"), rec));
    EXPECT_EQ(rec.Username, "on-port");
    EXPECT_FALSE(pm.FindPasswordFor(url("http://localhost/"), rec));
    ASSERT_TRUE(pm.FindPasswordFor(url("https://EXAMPLE.com/"), rec));
    EXPECT_EQ(rec.Username, "plain");
    // The host's entry serves its other ports unless they have their own.
    ASSERT_TRUE(pm.FindPasswordFor(url("http://example.com:8080/"), rec));
    EXPECT_EQ(rec.Username, "plain");
    pm.PutPassword({"example.com:8080", "own-port", "4"});
    ASSERT_TRUE(pm.FindPasswordFor(url("http://example.com:8080/"), rec));
    EXPECT_EQ(rec.Username, "own-port");
    // A key written with the default port, as older files may hold, still serves that port.
    ASSERT_TRUE(pm.FindPasswordFor(url("https://old.example/"), rec));
    EXPECT_EQ(rec.Username, "old-form");
    EXPECT_FALSE(pm.FindPasswordFor(url("http://old.example/"), rec));
}
