#pragma once
// Windows speaks UTF-16; the rest of Sealdoor speaks UTF-8, or WTF-8
// (wtf8.h) where a name holds a lone surrogate: both ways keep every unit.

#include <string>
#include <string_view>

namespace sealdoor::win32 {

[[nodiscard]] std::wstring Widen(std::string_view utf8);
[[nodiscard]] std::string Narrow(std::wstring_view utf16);

}  // namespace sealdoor::win32
