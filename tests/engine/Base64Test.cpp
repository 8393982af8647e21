#include "engine/Base64.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

using namespace std::string_literals;

TEST(Base64, EncodesStandardVectors)
{
    EXPECT_EQ(StrToBase64("f"), "Zg==");
    EXPECT_EQ(StrToBase64("fo"), "Zm8=");
    EXPECT_EQ(StrToBase64("foo"), "Zm9v");
    EXPECT_EQ(StrToBase64("foob"), "Zm9vYg==");
    EXPECT_EQ(StrToBase64("fooba"), "Zm9vYmE=");
    EXPECT_EQ(StrToBase64("foobar"), "Zm9vYmFy");
    EXPECT_EQ(StrToBase64("\xff\xfe\x00"s), "//4A");
    // An empty text is padded to a whole group so the coding is never shorter than four.
    EXPECT_EQ(StrToBase64(""), "A===");
}

TEST(Base64, RoundTripsEveryLengthAndByte)
{
    std::string all;
    for (int c = 0; c < 256; ++c)
        all += static_cast<char>(c);
    for (size_t len = 0; len <= all.size(); len += 7) {
        std::string text = all.substr(0, len);
        EXPECT_EQ(Base64ToStr(StrToBase64(text)), text) << len;
    }
    EXPECT_EQ(Base64ToStr("Zm9vYmFy"), "foobar");
    EXPECT_EQ(Base64ToStr("Zm8="), "fo");
}

TEST(Base64, RefusesBadLengths)
{
    for (const char* bad : {"", "A", "AB=", "Zm9vY", "Zm9vYmFy="}) {
        try {
            Base64ToStr(bad);
            ADD_FAILURE() << "accepted " << bad;
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "Base64ToStr: illegal input length!");
        }
    }
}

TEST(Base64, DegenerateInputStaysInRange)
{
    // More padding than decoded bytes must not cut below the start.
    EXPECT_EQ(Base64ToStr("===="), "");
    EXPECT_EQ(Base64ToStr("A==="), "");
    EXPECT_EQ(Base64ToStr("========"), "");
    EXPECT_EQ(Base64ToStr("AAAA===="), "\0\0"s);
    EXPECT_EQ(Base64ToStr(std::string(400, '=')), "");
    // Characters outside the alphabet decode as 61 rather than failing.
    EXPECT_EQ(Base64ToStr("****").size(), 3u);
    EXPECT_EQ(Base64ToStr("\x80\x81\x82\x83"s), Base64ToStr("9999"));
}
