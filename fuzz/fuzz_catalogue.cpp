// Catalogue::Parse on arbitrary bytes: no crash, no read past the end; what
// it accepts answers every lookup from within its own bytes, a form for
// every number.

#include <cstdint>
#include <string>
#include <string_view>

#include "text/catalogue.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using sealdoor::text::Catalogue;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const auto catalogue = Catalogue::Parse(bytes);
  if (!catalogue) return 0;
  std::size_t total = 0;
  for (const std::string_view text : catalogue->Texts()) {
    if (const auto found = catalogue->Find(text)) total += found->size();
    for (const std::uint64_t n : {0ull, 1ull, 2ull, 5ull, 11ull, 21ull, 101ull, 1000000ull, ~0ull})
      if (const auto form = catalogue->FindPlural(text, n)) total += form->size();
    for (const auto form : catalogue->Forms(text)) total += form.size();
  }
  if (catalogue->Plurals().Index(7) >= catalogue->Plurals().Count()) __builtin_trap();
  return total == static_cast<std::size_t>(-1);
}
