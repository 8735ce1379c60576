#pragma once
// What the engine has to tell the user about a file it did not process (or
// processed, but could not make sure of): the outcome, the file, the
// failure. The words are the front end's (text/notices.h).

#include <filesystem>
#include <string>

#include "action.h"
#include "failure.h"

namespace sealdoor {

struct Notice {
  enum class What : std::uint8_t {
    AlreadyLocked,    // a lock of a locked file: left as it is
    NotLocked,        // an unlock of a file that is not locked: left as it is
    WrongPassword,    // the password typed is not the file's
    DamagedHead,      // locked, but its head names no password that could ever match
    Failed,           // could not be processed: `failure` says why; the file is as it was
    KeptBeside,       // as Failed, and the version made is kept beside it as `kept`
    Untidy,           // done, but `failure` says what of the former state had to stay
    FolderNotSynced,  // `path` is a folder whose new names the disk did not confirm (`failure`)
    LeftByEarlierRun, // an interrupted run's version of `path` is kept beside it as `kept`
  };

  What what = What::Failed;
  Action action = Action::Lock;
  std::filesystem::path path;
  Failure failure;
  std::filesystem::path kept;  // KeptBeside: where our version is

  // Whether the file was left as it was (not locked or unlocked), as
  // against a note on a file that was done or on its folder.
  [[nodiscard]] bool LeftAsItWas() const noexcept {
    return what != What::Untidy && what != What::FolderNotSynced && what != What::LeftByEarlierRun;
  }

  [[nodiscard]] static Notice LeftByEarlierRunAt(std::filesystem::path file, std::filesystem::path keptAs) {
    Notice n;
    n.what = What::LeftByEarlierRun;
    n.path = std::move(file);
    n.kept = std::move(keptAs);
    return n;
  }
};

}  // namespace sealdoor
