// Writes how it was started (its command line, then each argument as the C
// runtime reads it, one a line) to the file named by SEALDOOR_RECORD.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/win32/wide.h"
#include "engine/win32/windows_h.h"

int wmain(int argc, wchar_t** argv) {
  const wchar_t* out = _wgetenv(L"SEALDOOR_RECORD");
  if (!out) return 1;
  std::string text = sealdoor::win32::Narrow(::GetCommandLineW()) + "\n";
  for (int i = 1; i < argc; ++i) text += sealdoor::win32::Narrow(argv[i]) + "\n";
  const std::wstring part = std::wstring(out) + L".part";
  FILE* f = _wfopen(part.c_str(), L"wb");
  if (!f) return 1;
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
  ::MoveFileExW(part.c_str(), out, MOVEFILE_REPLACE_EXISTING);
  return 0;
}
