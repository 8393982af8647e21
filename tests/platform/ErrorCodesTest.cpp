#include "platform/ErrorCodes.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <thread>

TEST(ErrorCodes, ErrnoMapsToSystemNumbers)
{
    EXPECT_EQ(ErrorCodeFromErrno(ENOENT), errc::FileNotFound);
    EXPECT_EQ(ErrorCodeFromErrno(ENOTDIR), errc::PathNotFound);
    EXPECT_EQ(ErrorCodeFromErrno(EACCES), errc::AccessDenied);
    EXPECT_EQ(ErrorCodeFromErrno(EBUSY), errc::SharingViolation);
    EXPECT_EQ(ErrorCodeFromErrno(ENOSPC), errc::DiskFull);
    EXPECT_EQ(ErrorCodeFromErrno(EEXIST), errc::AlreadyExists);
    // An unmapped errno keeps its own text.
    uint32_t raw = ErrorCodeFromErrno(EPIPE);
    EXPECT_NE(raw, 0u);
    EXPECT_FALSE(SystemErrorMessage(raw).empty());
}

TEST(ErrorCodes, TextsForInternetAndSystemNumbers)
{
    EXPECT_EQ(SystemErrorMessage(12002), "The operation timed out.");
    EXPECT_FALSE(SystemErrorMessage(12175).empty());
    EXPECT_TRUE(SystemErrorMessage(12035).empty());  // a gap in the table
    EXPECT_FALSE(SystemErrorMessage(errc::FileNotFound).empty());
    EXPECT_TRUE(SystemErrorMessage(999999).empty());
}

TEST(ErrorCodes, LastErrorIsPerThread)
{
    SetLastErrorCode(errc::AccessDenied);
    SetLastResponseInfo(12, "550 No such file");
    std::thread([] {
        EXPECT_EQ(GetLastErrorCode(), 0u);
        EXPECT_EQ(GetLastResponseText(), "");
        SetLastErrorFromErrno(ENOENT);
    }).join();
    EXPECT_EQ(GetLastErrorCode(), errc::AccessDenied);
    EXPECT_EQ(GetLastResponseError(), 12u);
    EXPECT_EQ(GetLastResponseText(), "550 No such file");
}
