#include <cstdlib>
#include <system_error>

#include "text/languages.h"

namespace sealdoor::text {

std::vector<Language> UserLanguages() {
  return LanguagesFromEnvironment([](const char* name) { return std::getenv(name); });
}

std::vector<std::filesystem::path> CatalogueFolders() {
  // PREFIX/bin/sealdoor finds PREFIX/share/locale, wherever PREFIX is; the
  // build tree has the same shape (build/app/sealdoor, build/share/locale).
  std::vector<std::filesystem::path> out;
  std::error_code ec;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) out.push_back((self.parent_path() / ".." / "share" / "locale").lexically_normal());
#ifdef SEALDOOR_INSTALLED_LOCALE_DIR
  // Where /proc is not there to ask.
  out.emplace_back(SEALDOOR_INSTALLED_LOCALE_DIR);
#endif
  return out;
}

}  // namespace sealdoor::text
