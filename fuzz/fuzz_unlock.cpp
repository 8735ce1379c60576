// Recognition, the stored password and unlocking, on arbitrary bytes.

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz_folder.h"
#include "engine/base64.h"
#include "engine/batch_counters.h"
#include "engine/form1.h"
#include "engine/format.h"
#include "engine/notice.h"

namespace {

struct QuietPort final : sealdoor::WindowPort {
  std::string Password() const override { return "Fuzz1"; }
  void ShowFile(sealdoor::Action, std::string_view) override {}
  void SetCaption(sealdoor::Caption, std::string_view) override {}
  void SetBarWidth(sealdoor::Bar, int) override {}
  void ShowProgress() override {}
  void Report(const sealdoor::Notice&) override {}
  void Yield() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  const bool locked = sealdoor::format::IsLocked(bytes);
  // The stored password from any text, and from any head.
  (void)sealdoor::format::ReadStoredPassword(
      std::string_view(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 1000)));
  if (size >= sealdoor::format::kHead)
    (void)sealdoor::format::ReadStoredPassword(std::span<const std::uint8_t, 702>(data, 702));

  const auto file = FuzzFolder() / "input";
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  QuietPort port;
  sealdoor::BatchCounters counters{1000, 0};
  const bool result = sealdoor::Form1(port, counters).UnlockIt(file, "input");
  // Only a locked file whose head names our password may come out unlocked,
  // and then exactly 702 bytes shorter.
  if (result && (!locked || std::filesystem::file_size(file) != size - 702)) __builtin_trap();
  if (!result && std::filesystem::file_size(file) != size) __builtin_trap();
  return 0;
}
