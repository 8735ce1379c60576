#include "edit_guard.h"

#include <cstdio>
#include <system_error>

#include "engine/path_text.h"
#include "engine/siphash.h"

namespace sealdoor::cli {

std::string EditGuardName(const std::filesystem::path& file) {
  std::error_code ec;
  std::filesystem::path whole = std::filesystem::weakly_canonical(file, ec);
  if (ec) whole = std::filesystem::absolute(file, ec).lexically_normal();
  // A fixed key: the name only has to be the same for every run.
  static constexpr SipKey kKey{'s', 'e', 'a', 'l', 'd', 'o', 'o', 'r', '-', 'e', 'd', 'i', 't', '-', 'k', '1'};
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(SipHash24(kKey, PathText(whole))));
  return std::string("sealdoor-edit-") + hex;
}

}  // namespace sealdoor::cli
