#pragma once
// The lock engine as one object per call: the dispatcher creates a Form1 for
// every file and discards it afterwards, so nothing carries over from one
// file to the next. No system header here: the system's part is behind
// SourceFile and ReplacementFile.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include "batch_counters.h"
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
  // box. `nopath` is the name shown in the progress panel. `result` becomes
  // true only when the file was locked.
  void LockIt(const std::filesystem::path& filesseps, const std::string& nopath, bool& result);

  // Unlocks `filesseps` in place when the password box holds its password.
  void UnlockIt(const std::filesystem::path& filesseps, const std::string& nopath, bool& result);

  // Writes a fresh key header (13 lines, CR LF) for the current password to
  // `passfile`. False when the file could not be written.
  [[nodiscard]] bool MKH(const std::filesystem::path& passfile);

  // A fresh working-file name: six small letters and ".tmp".
  [[nodiscard]] std::string GetTempFileName();

  // How long the content may run before the window gets to repaint.
  void SetYieldInterval(std::chrono::milliseconds every) noexcept { yieldEvery_ = every; }

  // Whether the last LockIt or UnlockIt ended because the window asked for
  // a stop: the file was left exactly as it was, its working file dropped,
  // and nothing was said about it.
  [[nodiscard]] bool Stopped() const noexcept { return stopped_; }

 private:
  enum class Mode { Lock, Unlock };
  // What the user is told about a file that was not processed.
  struct Notice {
    std::string text;
    MessageStyle style;
    double lowerTotalBy = 0;  // lines the batch total drops by
  };

  void Process(const std::filesystem::path& filesseps, const std::string& nopath, bool& result,
               Mode mode);
  // The work on one file. Every file it opens is closed again before it
  // returns, so no other program waits on us while a message is up. A stop
  // asked for before the content is complete ends it with no notice.
  std::optional<Notice> Work(const std::filesystem::path& filesseps, const std::string& nopath,
                             bool& result, Mode mode);

  WindowPort& window_;
  BatchCounters& counters_;
  CommitGroup* group_;
  SystemRandom random_;
  std::chrono::milliseconds yieldEvery_{50};
  bool stopped_ = false;
};

}  // namespace sealdoor
