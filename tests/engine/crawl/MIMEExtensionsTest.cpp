#include "engine/crawl/MIMEExtensions.h"

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

TEST(MIMEExtensions, StyleSheetsScriptsAndImageTypesGetTheirEnding)
{
    EXPECT_EQ(AddExtensionForMIMEType("/d/pydoctheme.css_2022.1", "text/css"), "/d/pydoctheme.css_2022.1.css");
    EXPECT_EQ(AddExtensionForMIMEType("/d/s.css", "Text/CSS; charset=utf-8"), "/d/s.css");
    EXPECT_EQ(AddExtensionForMIMEType("/d/app.js_v=7", "application/javascript"), "/d/app.js_v=7.js");
    EXPECT_EQ(AddExtensionForMIMEType("/d/a", "text/javascript;charset=UTF-8"), "/d/a.js");
    EXPECT_EQ(AddExtensionForMIMEType("/d/a.JS", "application/x-javascript"), "/d/a.JS");
    EXPECT_EQ(AddExtensionForMIMEType("/d/logo.svg_h=abc", "image/svg+xml"), "/d/logo.svg_h=abc.svg");
    EXPECT_EQ(AddExtensionForMIMEType("/d/p", "image/webp"), "/d/p.webp");
    EXPECT_EQ(AddExtensionForMIMEType("/d/favicon.ico", "image/x-icon"), "/d/favicon.ico");
    EXPECT_EQ(AddExtensionForMIMEType("/d/f", "image/vnd.microsoft.icon"), "/d/f.ico");
    EXPECT_EQ(AddExtensionForMIMEType("/d/a.cssx", "text/cssx"), "/d/a.cssx");
}

TEST(MIMEExtensions, EndingsOfTypesThatAreNoPages)
{
    for (const char* ending : {".pdf", ".ZIP", ".png", ".jpeg", ".css", ".js", ".svg", ".mp3", ".tgz"})
        EXPECT_TRUE(IsNonPageEnding(ending)) << ending;
    for (const char* ending : {"", ".", ".html", ".htm", ".php", ".asp", ".pdfx", "pdf"})
        EXPECT_FALSE(IsNonPageEnding(ending)) << ending;
}
