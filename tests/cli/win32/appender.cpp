// Another program that writes a file by name over and over, as a batch file
// does with `echo %n%>>FILE`: opens it (making it if it is missing),
// appends a numbered line, closes it; until STOPFILE exists. Then writes
// the number of the last line it wrote whole to COUNTFILE.
//   appender.exe FILE STOPFILE COUNTFILE

#include <string>

#include "engine/win32/windows_h.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) return 2;
  long last = 0;
  for (long n = 1; ::GetFileAttributesW(argv[2]) == INVALID_FILE_ATTRIBUTES; ++n) {
    const HANDLE f = ::CreateFileW(argv[1], FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
      --n;  // the same line again
      ::Sleep(0);
      continue;
    }
    const std::string line = std::to_string(n) + "\r\n";
    DWORD written = 0;
    if (::WriteFile(f, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) && written == line.size())
      last = n;
    else
      --n;
    ::CloseHandle(f);
  }
  const std::string count = std::to_string(last);
  const HANDLE out = ::CreateFileW(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  ::WriteFile(out, count.data(), static_cast<DWORD>(count.size()), &written, nullptr);
  ::CloseHandle(out);
  return 0;
}
