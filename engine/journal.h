#pragma once
// The journal a run keeps in a folder of the working files it makes there:
// every name is written to it, and on the disk, before a file of that name
// exists. A run that is killed, or a machine that loses power, leaves the
// journal behind; a later run proves by it which files in the folder are
// leftovers of ours and removes them, or finishes putting a file back.
// A user's file that merely has a name like ours is never in a journal.
// The text is the same on every system, so a journal left on a removable
// disk by one system is understood by the other.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sealdoor::journal {

// The first line; anything else is not a journal of ours.
inline constexpr std::string_view kHeader = "sealdoor working files 1\n";

// A working file's name, listed before the file is made.
[[nodiscard]] std::string WorkingRecord(std::string_view name);
// While a file is replaced in two steps: `backup` holds (or is about to
// hold) the original of `target` until the new version, under `working`,
// is in its place.
[[nodiscard]] std::string BackupRecord(std::string_view backup, std::string_view target,
                                       std::string_view working);

struct Backup {
  std::string backup;
  std::string target;
  std::string working;
  friend bool operator==(const Backup&, const Backup&) = default;
};

struct Contents {
  std::vector<std::string> working;
  std::vector<Backup> backups;
};

// What a journal lists. A record cut short (a power cut in the middle of
// writing it) or damaged is skipped; a text without the header is not ours.
[[nodiscard]] std::optional<Contents> Parse(std::string_view text);

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

// Puts back what a dead run left half-way, then removes its working files:
// - an original moved aside whose file has no other version in its place
//   goes back under its name;
// - an original moved aside after its new version left its working name
//   for the file's place goes;
// - an original moved aside while another program made a new file under
//   its name stays, beside that file, as "NAME.sealdoor-original";
// - every working file listed, whatever it holds, goes: each is either a
//   new version that never took its place or an original that was changed
//   out of it.
void Replay(const Contents& contents, Folder& folder);

}  // namespace sealdoor::journal
