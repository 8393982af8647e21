#pragma once
// Texts the engine takes from pages (page titles, addresses of links): bytes in the
// page's character set, titles with their HTML character references. Decoded here for display.
#include <QString>

#include <string>

// The bytes in the declared character set; without one (or with one this system does not
// know), as UTF-8 when they are valid UTF-8, else as Windows-1252.
QString DecodePageBytes(const std::string& bytes, const std::string& charset);
// A page title for display: its bytes decoded as above, then its character references
// ("&#8212;", "&mdash;") as a browser decodes them.
QString PageTitleText(const std::string& bytes, const std::string& charset);
// An e-mail address or an address part (a folder, a file name) for display: percent escapes
// decoded when they stand for readable UTF-8 text ("docs%40python.org" gives "docs@python.org",
// "my%20page.html" gives "my page.html").
QString ReadableAddressText(const std::string& address);
