#pragma once
// Character references in HTML attribute values ("&amp;", "&#46;", "&#x2F;", "&eacute;"): decoded
// the way a browser decodes an attribute value before it uses it as an address, and written back
// so that a browser decodes them to the same text again.
#include <string>
#include <string_view>

// The attribute value with its character references decoded (characters as UTF-8). Numeric
// references with or without ";" (0, surrogates and numbers beyond Unicode give U+FFFD; 128-159
// take their Windows-1252 meaning); the named references of HTML 4 and "&apos;" with ";"; the
// legacy names ("amp", "lt", "eacute"...) also without ";" unless a letter, a digit or "=" follows
// (so "?a=1&copy=2" stays as written). Anything else is kept as written.
std::string DecodeCharacterReferences(std::string_view value);

// Text made safe in HTML: "&", "<", ">" and the double quote become references, and with
// singleQuote the single quote too.
std::string EscapeHTMLText(std::string_view text, bool singleQuote);
// Text made safe inside a quoted attribute value, either quote: EscapeHTMLText with the single quote.
inline std::string EscapeForAttribute(std::string_view text)
{
    return EscapeHTMLText(text, true);
}
