#include "wide.h"

#include "engine/wtf8.h"

namespace sealdoor::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

std::wstring Widen(std::string_view utf8) {
  const std::u16string units = Utf16FromWtf8(utf8);
  return std::wstring(units.begin(), units.end());
}

std::string Narrow(std::wstring_view utf16) {
  return Wtf8FromUtf16(std::u16string_view(reinterpret_cast<const char16_t*>(utf16.data()), utf16.size()));
}

}  // namespace sealdoor::win32
