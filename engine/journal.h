#pragma once
// The journal a run keeps in a folder of the working files it makes there:
// every name is written to it, and on the disk, before a file of that name
// exists. A run that is killed, or a machine that loses power, leaves the
// journal behind; a later run proves by it which files in the folder are
// leftovers of ours and removes them, or finishes putting a file back.
//
// Only what a run of this user wrote in this very folder is acted on: each
// record is signed with a key kept in the user's own files, over the
// folder's identity and the journal's name. A journal unpacked from an
// archive into another folder, another user's, or one anybody made up,
// holds no record a later run trusts, and nothing in the folder is touched
// by it. The text is the same on every system.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "siphash.h"

namespace sealdoor::journal {

// The first line; anything else is not a journal of ours.
inline constexpr std::string_view kHeader = "sealdoor working files 2\n";
// Journals are small; anything larger is not one of ours.
inline constexpr std::size_t kMaxBytes = std::size_t{4} << 20;

// What a record is signed for: the user's key, the folder, the journal.
struct Signer {
  SipKey key{};
  std::string folder;   // the folder's identity (its path as the system resolves it)
  std::string journal;  // the journal's own name

  // `record` (one line without its end) with its signature, and the end.
  [[nodiscard]] std::string Sign(std::string_view record) const;
  [[nodiscard]] bool Verify(std::string_view record, std::string_view signature) const;
};

// A working file's name, listed before the file is made.
[[nodiscard]] std::string WorkingRecord(std::string_view name);
// While a file is replaced in two steps: `backup` holds (or is about to
// hold) the original of `target` until the new version, under `working`,
// is in its place.
[[nodiscard]] std::string BackupRecord(std::string_view backup, std::string_view target,
                                       std::string_view working);
// The new version has taken `target`'s place: what `backup` holds is the
// former version, done with.
[[nodiscard]] std::string DoneRecord(std::string_view backup);
// `name` holds a version of `target` the user may need (one another program
// wrote to, or put there, while the file was replaced): never removed, but
// kept beside as `beside`, "beside (2)" and so on.
[[nodiscard]] std::string KeepRecord(std::string_view name, std::string_view target, std::string_view beside);

struct Backup {
  std::string backup;
  std::string target;
  std::string working;
  friend bool operator==(const Backup&, const Backup&) = default;
};

struct Keep {
  std::string name;
  std::string target;
  std::string beside;
  friend bool operator==(const Keep&, const Keep&) = default;
};

struct Contents {
  std::vector<std::string> working;
  std::vector<Backup> backups;
  std::vector<std::string> done;  // backups whose new version is in place
  std::vector<Keep> keep;
};

// Whether a journal's whole text is what a run writes before it lists
// anything (nothing, or the header, or part of it): one killed then holds
// nothing that could be lost, and goes.
[[nodiscard]] constexpr bool HoldsNothing(std::string_view text) noexcept { return kHeader.starts_with(text); }

// What a journal lists, in the records `signer` proves were written for it.
// A record cut short (a power cut in the middle of writing it), damaged or
// not signed so is skipped; a text without the header is not ours.
[[nodiscard]] std::optional<Contents> Parse(std::string_view text, const Signer& signer);

// What a later run does in a folder, as the journal of a dead run asks.
class Folder {
 public:
  virtual ~Folder() = default;
  [[nodiscard]] virtual bool Exists(const std::string& name) = 0;
  // Removes a file of ours that no running process holds; false otherwise.
  virtual bool Remove(const std::string& name) = 0;
  // Renames, never over an existing file.
  virtual bool Rename(const std::string& from, const std::string& to) = 0;
};

// A version the replay could not put back, kept beside its file.
struct KeptBeside {
  std::string target;  // the file it belongs to
  std::string kept;    // where it is now
  friend bool operator==(const KeptBeside&, const KeptBeside&) = default;
};

// Puts back what a dead run left half-way, then removes its working files:
// - an original moved aside while its new version had not left its working
//   name goes back under its name, or, if another file is there now, stays
//   beside it as "NAME.sealdoor-original";
// - an original moved aside whose new version took its place goes;
// - one moved aside where that cannot be told is never put back over
//   nothing: it stays beside its file as "NAME.sealdoor-original";
// - a version to keep is kept beside, never removed;
// - every other working file listed, whatever it holds, goes: each is a new
//   version that never took its place or an original that was changed out
//   of it.
// Returns what was kept beside, for the user to be told.
std::vector<KeptBeside> Replay(const Contents& contents, Folder& folder);

}  // namespace sealdoor::journal
