#pragma once
// New versions of several files, written and waiting to take their places
// together: made durable at once (one sync of the file system rather than
// one per file), then each put in its place, then each folder synced once.
// Each file is at every moment either its original or its complete new
// version; a crash may leave a group half committed, never a file half
// written. A batch of small files costs about one sync instead of one per
// file.

#include <cstdint>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "action.h"
#include "batch_scope.h"
#include "replacement_file.h"
#include "source_file.h"
#include "window_port.h"

namespace sealdoor {

// A file whose new version is complete and waits for its commit.
struct PendingReplacement {
  SourceFile source;
  ReplacementFile replacement;
  std::filesystem::path path;  // as the batch names it, for messages
  Action action = Action::Lock;
  std::uint64_t bytes = 0;
};

class CommitGroup {
 public:
  // A group is bounded by what it holds open and by what its sync has to
  // write: each file's bytes and a block for what the file system writes
  // of it besides (its entry, its inode).
  struct Limits {
    std::size_t files = 256;
    std::uint64_t bytes = std::uint64_t{64} << 20;
    // Files it may hold open: each waiting file two (the original and its
    // new version), each folder of them two more (its handle and its
    // journal).
    std::size_t descriptors = SIZE_MAX;
  };
  // What a waiting file counts for besides its bytes.
  static constexpr std::uint64_t kBytesPerFile = 4096;
  // Bounded by bytes, by 1,024 files and by the open files the process may
  // have, less room for the folders and journals the batch keeps and for
  // everything else the process has open.
  [[nodiscard]] static Limits DefaultLimits();

  explicit CommitGroup(WindowPort& window, Limits limits = DefaultLimits());
  // What waits and was never committed is dropped: the originals stay.
  // What was committed is made durable, as Flush does.
  ~CommitGroup();
  CommitGroup(const CommitGroup&) = delete;
  CommitGroup& operator=(const CommitGroup&) = delete;

  // Before the work on a file of `bytes`: commits what waits if the file
  // would not fit, so no file waits long, holding its original open, while
  // a large one is worked on.
  void MakeRoomFor(std::uint64_t bytes);

  // Takes a file; commits the group at once when it is full.
  void Add(PendingReplacement pending);

  // Puts every waiting version in its place now, for when the batch stops
  // for the user (a message): no other program waits on us meanwhile. Each
  // file that could not be put in place is told of with its path and the
  // reason, after every file is let go.
  void Commit();

  // Lets go of what waits, uncommitted: each of those files stays as it
  // was. For a stop, which then waits for no sync of theirs; what earlier
  // groups put in place stays in place.
  void Drop();

  // Commits what waits, and lets go of what the folders kept between
  // groups. False when any file since the last Flush could not be put in
  // place (also one of a group committed earlier).
  bool Flush();

  // How many files have taken their new version's place so far.
  [[nodiscard]] std::size_t Placed() const noexcept { return placed_; }

 private:

  WindowPort& window_;
  // What is learned of the folders, kept from one group to the next until Flush.
  std::optional<BatchScope> scope_;
  Limits limits_;
  std::vector<PendingReplacement> pending_;
  std::set<std::filesystem::path> folders_;  // of the files waiting
  std::uint64_t bytes_ = 0;
  std::size_t placed_ = 0;
  Action action_ = Action::Lock;  // of the files it takes
  bool failed_ = false;
};

}  // namespace sealdoor
