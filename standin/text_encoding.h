// UTF-8 and UTF-16 for the stand-in player's strings.
#pragma once

#include <string>

// UTF-16 code units of UTF-8 `text`; a malformed byte becomes U+FFFD.
std::u16string Utf8ToUtf16(const std::string& text);
// UTF-8 of the UTF-16 `text`; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const std::u16string& text);
