#include "engine/win32/windows_h.h"
#include "engine/win32/wide.h"
#include "text/languages.h"

namespace sealdoor::text {

std::vector<Language> UserLanguages() {
  // The user's display languages, most wanted first ("de-DE\0en-US\0\0").
  std::vector<std::string> names;
  ULONG count = 0, size = 0;
  if (::GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, nullptr, &size) && size > 0) {
    std::wstring list(size, L'\0');
    if (::GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, list.data(), &size)) {
      for (std::size_t i = 0; i < list.size() && list[i] != L'\0';) {
        const std::wstring one(list.c_str() + i);
        names.push_back(win32::Narrow(one));
        i += one.size() + 1;
      }
    }
  }
  if (names.empty()) {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    if (::LCIDToLocaleName(MAKELCID(::GetUserDefaultUILanguage(), SORT_DEFAULT), name, LOCALE_NAME_MAX_LENGTH, 0) > 0)
      names.push_back(win32::Narrow(name));
  }
  return LanguagesFromWindowsNames(names);
}

std::vector<std::filesystem::path> CatalogueFolders() {
  // Beside the program: INSTDIR\locale (the installer, the zip); and the
  // build tree's share\locale (build\cli\sealdoor-cli.exe,
  // build\app\win32\sealdoor.exe).
  std::wstring self(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
    if (n == 0) return {};
    if (n < self.size()) {
      self.resize(n);
      break;
    }
    self.resize(self.size() * 2);
  }
  const std::filesystem::path folder = std::filesystem::path(self).parent_path();
  return {folder / "locale", (folder / ".." / "share" / "locale").lexically_normal(),
          (folder / ".." / ".." / "share" / "locale").lexically_normal()};
}

}  // namespace sealdoor::text
