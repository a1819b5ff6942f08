// BSTRs laid out as on Windows: a 32-bit byte length, the UTF-16 code units, a NUL unit.
#include <oleauto.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <string>
#include <unordered_set>

namespace {

// The strings allocated and not yet freed: freeing one that is not here (freed already, or
// never made by this layer) is reported instead of corrupting the heap.
std::mutex ledgerLock;
std::unordered_set<BSTR>* liveStrings = new std::unordered_set<BSTR>;  // outlives every user

// Says so on standard error when the process ends with strings never freed.
struct LeakReport {
  ~LeakReport() {
    if (long n = LiveStringCount())
      std::fprintf(stderr, "OLE strings: %ld BSTR(s) never freed\n", n);
  }
} leakReport;

}  // namespace

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
  const size_t bytes = static_cast<size_t>(length) * sizeof(OLECHAR);
  auto* block = static_cast<char*>(std::malloc(sizeof(uint32_t) + bytes + sizeof(OLECHAR)));
  if (!block) return nullptr;
  const uint32_t prefix = static_cast<uint32_t>(bytes);
  std::memcpy(block, &prefix, sizeof prefix);
  auto* units = reinterpret_cast<OLECHAR*>(block + sizeof(uint32_t));
  if (text)
    std::memcpy(units, text, bytes);
  else
    std::memset(units, 0, bytes);
  units[length] = 0;
  std::lock_guard<std::mutex> hold(ledgerLock);
  liveStrings->insert(units);
  return units;
}

BSTR SysAllocString(const wchar_t* text) {
  if (!text) return nullptr;
  std::u16string units;
  for (; *text; ++text) {
    auto c = static_cast<uint32_t>(*text);
    if (c > 0xFFFF && c <= 0x10FFFF) {
      c -= 0x10000;
      units += static_cast<char16_t>(0xD800 + (c >> 10));
      units += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      units += static_cast<char16_t>(c > 0xFFFF ? 0xFFFD : c);
    }
  }
  return SysAllocStringLen(units.data(), static_cast<UINT>(units.size()));
}

UINT SysStringLen(BSTR text) {
  if (!text) return 0;
  uint32_t bytes;
  std::memcpy(&bytes, reinterpret_cast<char*>(text) - sizeof(uint32_t), sizeof bytes);
  return bytes / sizeof(OLECHAR);
}

void SysFreeString(BSTR text) {
  if (!text) return;
  {
    std::lock_guard<std::mutex> hold(ledgerLock);
    if (liveStrings->erase(text) == 0) {
      std::fprintf(stderr, "OLE strings: SysFreeString on a BSTR that is not allocated\n");
      return;
    }
  }
  std::free(reinterpret_cast<char*>(text) - sizeof(uint32_t));
}

long LiveStringCount() {
  std::lock_guard<std::mutex> hold(ledgerLock);
  return static_cast<long>(liveStrings->size());
}
