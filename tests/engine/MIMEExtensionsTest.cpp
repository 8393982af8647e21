#include "engine/MIMEExtensions.h"

#include <gtest/gtest.h>

TEST(MIMEExtensions, AddsTheExtensionOfTheTypeUnlessPresent)
{
    EXPECT_EQ(AddExtensionForMIMEType("/d/page.asp", "text/html"), "/d/page.asp.htm");
    EXPECT_EQ(AddExtensionForMIMEType("/d/index.html", "text/html"), "/d/index.html");
    EXPECT_EQ(AddExtensionForMIMEType("/d/INDEX.HTM", "TEXT/HTML; charset=utf-8"), "/d/INDEX.HTM");
    EXPECT_EQ(AddExtensionForMIMEType("/d/photo.jpeg", "image/jpeg"), "/d/photo.jpeg.jpg");
    EXPECT_EQ(AddExtensionForMIMEType("/d/a.GIF", "image/gif"), "/d/a.GIF");
    EXPECT_EQ(AddExtensionForMIMEType("/d/a", "image/png"), "/d/a.png");
    EXPECT_EQ(AddExtensionForMIMEType("/d/a.png", "image/png"), "/d/a.png");
}

TEST(MIMEExtensions, OtherTypesAndDotsInFoldersLeaveTheNameAlone)
{
    EXPECT_EQ(AddExtensionForMIMEType("/d/style.css", "text/css"), "/d/style.css");
    EXPECT_EQ(AddExtensionForMIMEType("/d/file", ""), "/d/file");
    // The dot belongs to a folder, so the file has no extension.
    EXPECT_EQ(AddExtensionForMIMEType("/d/www.site.com/page", "text/html"), "/d/www.site.com/page.htm");
}
