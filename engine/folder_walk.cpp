#include "folder_walk.h"

#include <algorithm>
#include <filesystem>
#include <set>

#include "file_identity.h"
#include "folder_reader.h"
#include "format.h"
#include "in_use.h"
#include "path_kind.h"
#include "path_text.h"
#include "temp_names.h"

namespace sealdoor {
namespace fs = std::filesystem;
namespace {

constexpr std::size_t kTickEvery = 256;

bool Known(const FileIdentity& id) { return id != FileIdentity{}; }

class Walker {
 public:
  Walker(FolderBatch& out, const WalkOptions& options) : out_(out), options_(options), inUse_(FilesInUse::Now()) {}

  void Root(const std::string& path) {
    auto folder = FolderReader::Open(PathFromText(path));
    if (!folder) {
      out_.unreadable.push_back({path, folder.error()});
      return;
    }
    rootVolume_ = folder->Identity().volume;
    Walk(*folder, path);
  }

  // A file named on its own: taken once, whatever it is (the engine says).
  void File(const std::string& path) {
    const auto facts = FactsOf(PathFromText(path));
    if (facts && !files_.insert(facts->identity).second) return;
    out_.files.push_back(path);
    out_.facts.push_back(facts);
  }

  [[nodiscard]] bool Stopped() const noexcept { return out_.stopped; }

 private:
  void Walk(const FolderReader& folder, const std::string& path) {
    if (Known(folder.Identity()) && !folders_.insert(folder.Identity()).second) return;  // walked already
    auto entries = folder.Entries();
    if (!entries) {
      out_.unreadable.push_back({path, entries.error()});
      return;
    }
    std::sort(entries->begin(), entries->end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    const std::string prefix = path.ends_with('/') || path.ends_with(static_cast<char>(fs::path::preferred_separator))
                                   ? path
                                   : path + static_cast<char>(fs::path::preferred_separator);
    for (const FolderEntry& entry : *entries) {
      if (!Tick()) return;
      if (IsHousekeepingName(entry.name)) continue;  // ours, never a user's file
      const std::string full = prefix + entry.name;
      switch (entry.kind) {
        case FolderEntry::Kind::Link: ++out_.links; break;
        case FolderEntry::Kind::Special: ++out_.special; break;
        case FolderEntry::Kind::Folder: {
          if (options_.oneFileSystem && Known(entry.identity) && entry.identity.volume != rootVolume_) {
            ++out_.otherFileSystems;
            break;
          }
          auto child = folder.Child(entry.name);
          if (!child)
            out_.unreadable.push_back({full, child.error()});
          else
            Walk(*child, full);
          if (out_.stopped) return;
          break;
        }
        case FolderEntry::Kind::File:
          if (Known(entry.identity) && !files_.insert(entry.identity).second) break;  // found before
          if (inUse_.Holds(PathFromText(full), Known(entry.identity) ? &entry.identity : nullptr)) {
            ++out_.inUse;
          } else if (AlreadyDone(folder, entry)) {
            ++out_.alreadyDone;
          } else {
            out_.files.push_back(full);
            out_.facts.push_back(Known(entry.identity) ? std::optional(FileFacts{entry.identity, entry.size}) : std::nullopt);
          }
          break;
      }
    }
  }

  // A file whose head says it is already what the batch would make of it.
  // One that cannot be read is taken: the engine then says why.
  bool AlreadyDone(const FolderReader& folder, const FolderEntry& entry) const {
    if (!options_.wantLocked) return false;
    // Too short for a head: never locked, and nothing to read.
    if (entry.size < format::kHead) return !*options_.wantLocked;
    const auto head = folder.Head(entry.name, format::kHead);
    return head && format::IsLocked(*head) == *options_.wantLocked;
  }

  bool Tick() {
    if (out_.stopped) return false;
    if (options_.goOn && ++entries_ % kTickEvery == 0 && !options_.goOn()) out_.stopped = true;
    return !out_.stopped;
  }

  FolderBatch& out_;
  const WalkOptions& options_;
  FilesInUse inUse_;
  std::set<FileIdentity> folders_, files_;
  std::uint64_t rootVolume_ = 0;
  std::size_t entries_ = 0;
};

}  // namespace

bool IsFolder(const std::string& path) {
  const auto kind = KindOf(PathFromText(path));
  return kind && *kind == PathKind::Folder;
}

FolderBatch ExpandFolders(std::span<const std::string> paths, const WalkOptions& options) {
  FolderBatch out;
  Walker walker(out, options);
  for (const auto& p : paths) {
    if (walker.Stopped()) break;
    if (IsFolder(p)) {
      out.hadFolder = true;
      walker.Root(p);
    } else {
      walker.File(p);
    }
  }
  return out;
}

}  // namespace sealdoor
