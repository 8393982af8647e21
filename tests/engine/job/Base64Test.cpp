#include "engine/job/Base64.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace std::string_literals;

TEST(Base64, StandardVectorsAndRoundTrips)
{
    const char* vectors[][2] = {{"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="},
                                {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {"", "A==="}};
    for (auto& v : vectors) {
        EXPECT_EQ(StrToBase64(v[0]), v[1]);
        EXPECT_EQ(Base64ToStr(v[1]), v[0]);
    }
    std::string all;
    for (int c = 255; c >= 0; --c)
        all += static_cast<char>(c);
    for (size_t len = 0; len <= all.size(); len += 7)
        EXPECT_EQ(Base64ToStr(StrToBase64(all.substr(0, len))), all.substr(0, len)) << len;
}

TEST(Base64, BadLengthsAndDegenerateInput)
{
    for (const char* bad : {"", "A", "AB=", "Zm9vY", "Zm9vYmFy="}) {
        try {
            Base64ToStr(bad);
            ADD_FAILURE() << "accepted " << bad;
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "Base64ToStr: illegal input length!");
        }
    }
    // More padding than decoded bytes must not cut below the start.
    EXPECT_EQ(Base64ToStr("===="), "");
    EXPECT_EQ(Base64ToStr("========"), "");
    EXPECT_EQ(Base64ToStr(std::string(400, '=')), "");
    EXPECT_EQ(Base64ToStr("AAAA===="), "\0\0"s);
    // Characters outside the alphabet decode as 61 rather than failing.
    EXPECT_EQ(Base64ToStr("\x80*\x82\x83"s), Base64ToStr("9999"));
}
