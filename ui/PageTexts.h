#pragma once
// Texts the engine takes from pages as they are written there (page titles, e-mail addresses):
// bytes in the page's character set, with HTML character references. Decoded here for display.
#include <QString>

#include <string>

// The bytes in the declared character set; without one (or with one this system does not
// know), as UTF-8 when they are valid UTF-8, else as Windows-1252.
QString DecodePageBytes(const std::string& bytes, const std::string& charset);
// Named references of HTML 4 ("&mdash;") and numeric ones ("&#8212;", "&#x2014;") replaced by
// their characters; anything else stays as written ("AT&T", "&bogus;").
QString DecodeCharacterReferences(const QString& text);
// A page title for display: both of the above.
QString PageTitleText(const std::string& bytes, const std::string& charset);
// The e-mail address of a mailto link for display: references decoded, then percent escapes
// when they stand for readable UTF-8 text ("docs&#37;&#52;&#48;python.org" gives "docs@python.org").
QString MailAddressText(const std::string& address);
