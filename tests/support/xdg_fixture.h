#pragma once
// A desktop of our own for association tests: its own MIME types, desktop
// entries, default applications and a recorder program that writes the
// arguments it was started with to a file. Nothing of the real desktop
// shows through. GIO caches what it reads, so each scenario runs in a fresh
// process with Environment() applied.

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace sealdoor::test {

class XdgFixture {
 public:
  XdgFixture();
  ~XdgFixture();
  XdgFixture(const XdgFixture&) = delete;
  XdgFixture& operator=(const XdgFixture&) = delete;

  [[nodiscard]] const std::filesystem::path& Root() const { return root_; }
  [[nodiscard]] std::filesystem::path Recorder() const { return root_ / "bin" / "recorder"; }
  [[nodiscard]] std::filesystem::path RecordFile() const { return root_ / "record"; }

  // A desktop without any terminal program.
  void RemoveTerminals();

  // The variables a process needs to see this desktop only.
  [[nodiscard]] std::map<std::string, std::string> Environment() const;
  // Applies Environment() to this process (for a forked child).
  void Apply() const;

  // What the recorder was last started with: its own name, then each
  // argument. Empty when it has not run.
  [[nodiscard]] std::vector<std::string> Recorded() const;

 private:
  std::filesystem::path root_;
  bool noTerminal_ = false;
};

}  // namespace sealdoor::test
