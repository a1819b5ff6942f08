#include "player/narrow_text.h"

#include <cstring>

void NarrowText(BSTR text, TextBuffer& buffer) {
  std::memset(buffer, 0, sizeof buffer);
  if (!text) return;
  // No code-page conversion: each code unit gives its low byte, so U+00E9 stays the single
  // byte 0xE9 and a unit such as U+0100 ends the text.
  for (size_t i = 0; i + 1 < sizeof buffer; ++i) {
    const char byte = static_cast<char>(text[i] & 0xFF);
    if (byte == 0) break;
    buffer[i] = byte;
  }
}
