#pragma once
// The lock engine as one object per call: the dispatcher creates a Form1 for
// every file and discards it afterwards, so nothing carries over from one
// file to the next. No system header here: the system's part is behind
// SourceFile and ReplacementFile.

#include <chrono>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "action.h"
#include "batch_counters.h"
#include "notice.h"
#include "random_source.h"
#include "window_port.h"

namespace sealdoor {

class CommitGroup;

class Form1 {
 public:
  // With a `group`, a file's new version waits there to be committed with
  // others (the batch flushes it at its end); without, it is committed at
  // once.
  Form1(WindowPort& window, BatchCounters& counters, CommitGroup* group = nullptr);

  // Locks `filesseps` in place with the password of the window's password
  // box. `nopath` is the name shown in the progress panel. True only when
  // the file was locked (or, in a group, its locked version is complete and
  // waits there).
  [[nodiscard]] bool LockIt(const std::filesystem::path& filesseps, const std::string& nopath);

  // Unlocks `filesseps` in place when the password box holds its password.
  [[nodiscard]] bool UnlockIt(const std::filesystem::path& filesseps, const std::string& nopath);

  // How long the content may run before the window gets to repaint.
  void SetYieldInterval(std::chrono::milliseconds every) noexcept { yieldEvery_ = every; }

  // Whether the last LockIt or UnlockIt ended because the window asked for
  // a stop: the file was left exactly as it was, its working file dropped,
  // and nothing was said about it.
  [[nodiscard]] bool Stopped() const noexcept { return stopped_; }

 private:
  // What the user is told about a file that was not processed, and the
  // lines the batch's total drops by for it.
  struct Refusal {
    Notice notice;
    double lowerTotalBy = 0;
  };

  bool Process(const std::filesystem::path& filesseps, const std::string& nopath, Action action);
  // The work on one file: true when done, else the refusal, or neither
  // when the window asked for a stop before the content was complete. Every
  // file it opens is closed again before it returns, so no other program
  // waits on us while a message is up.
  std::expected<bool, Refusal> Work(const std::filesystem::path& filesseps, const std::string& nopath,
                                    Action action);

  WindowPort& window_;
  BatchCounters& counters_;
  CommitGroup* group_;
  SystemRandom random_;
  std::chrono::milliseconds yieldEvery_{50};
  bool stopped_ = false;
  std::vector<Notice> later_;  // told of once the file at hand is let go
};

}  // namespace sealdoor
