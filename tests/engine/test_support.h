#pragma once
// Helpers shared by the engine tests: a window that records what the engine
// tells it, scratch folders, and file access in one line.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/batch_counters.h"
#include "engine/random_source.h"
#include "engine/window_port.h"
#include "text/message.h"

namespace sealdoor::test {

using text::MessageStyle;

struct RecordingPort : WindowPort {
  std::string password = "Abc123";
  std::vector<std::string> calls;  // one line per call, in order
  std::vector<Notice> notices;
  // The notices as the window words them.
  std::vector<std::pair<std::string, MessageStyle>> messages;

  std::string Password() const override { return password; }
  void ShowFile(Action action, std::string_view nopath) override;
  void SetCaption(Caption which, std::string_view text) override;
  void SetBarWidth(Bar which, int twips) override;
  void ShowProgress() override { calls.push_back("Frame4 visible"); }
  void Report(const Notice& notice) override;
  void Yield() override {}  // not recorded: how often it comes depends on timing
};

// One engine call, made the way the dispatcher makes it: a fresh engine object.
struct Outcome {
  bool result = false;
  RecordingPort port;
  BatchCounters counters{1000, 0};
};
void RunEngine(Outcome& o, const std::filesystem::path& path, bool lock, const std::string& password = "Abc123");
bool Lock(const std::filesystem::path& p, const std::string& password = "Abc123");
bool Unlock(const std::filesystem::path& p, const std::string& password = "Abc123");

// Draws from a fixed list, then repeats it: a predictable filler source.
class FixedRandom final : public RandomSource {
 public:
  explicit FixedRandom(std::vector<double> values) : values_(std::move(values)) {}
  double Next() override { return values_[i_++ % values_.size()]; }

 private:
  std::vector<double> values_;
  std::size_t i_ = 0;
};

class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  [[nodiscard]] const std::filesystem::path& Path() const { return path_; }
  [[nodiscard]] std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
  // Names in the folder, sorted.
  [[nodiscard]] std::vector<std::string> Names() const;

 private:
  std::filesystem::path path_;
};

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& p);
void WriteBytes(const std::filesystem::path& p, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> RandomBytes(std::size_t n, unsigned seed);
// `bytes` is `plain` locked with `password`: a head that holds it, then the
// content scrambled.
bool IsLockedFormOf(const std::vector<std::uint8_t>& bytes, const std::vector<std::uint8_t>& plain,
                    const std::string& password);
std::filesystem::path DataFile(const std::string& name);

// The names of Sealdoor's own housekeeping (working files, journals) in a
// folder, sorted: what a finished run must not leave.
std::vector<std::string> Housekeeping(const std::filesystem::path& folder);

}  // namespace sealdoor::test
