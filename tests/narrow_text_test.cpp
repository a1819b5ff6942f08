#include "player/narrow_text.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace {

struct NarrowCase {
  const char* what;
  std::u16string text;
  std::string expected;
};

TEST(NarrowText, TakesTheLowByteOfEachUnitUpTo255Bytes) {
  const NarrowCase cases[] = {
      {"plain", u"Intro", "Intro"},
      {"empty", u"", ""},
      {"e acute is one byte", u"Caf\u00e9", "Caf\xE9"},
      {"above U+00FF keeps the low byte", u"\u0141\u4E2D", "\x41\x2D"},
      {"a unit with a zero low byte ends the text", u"ab\u0100cd", "ab"},
      {"255 units fit", std::u16string(255, u'x'), std::string(255, 'x')},
      {"longer texts are cut at 255", std::u16string(300, u'y'), std::string(255, 'y')},
  };
  for (const NarrowCase& c : cases) {
    BSTR text = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(c.text.data()),
                                  static_cast<UINT>(c.text.size()));
    TextBuffer buffer;
    std::memset(buffer, '#', sizeof buffer);  // leftovers of an earlier use must not show
    NarrowText(text, buffer);
    EXPECT_EQ(std::string(buffer), c.expected) << c.what;
    EXPECT_EQ(buffer[255], '\0') << c.what;
    SysFreeString(text);
  }
}

TEST(NarrowText, NullStringLeavesTheBufferEmpty) {
  TextBuffer buffer = "leftover";
  NarrowText(nullptr, buffer);
  EXPECT_STREQ(buffer, "");
}

}  // namespace
