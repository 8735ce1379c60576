#include "folder_walk.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "file_head.h"
#include "format.h"
#include "in_use.h"
#include "path_text.h"
#include "temp_names.h"

namespace sealdoor {
namespace fs = std::filesystem;
namespace {

constexpr std::size_t kTickEvery = 256;

class Walker {
 public:
  Walker(FolderBatch& out, std::optional<bool> wantLocked, const std::function<void()>& tick)
      : out_(out), wantLocked_(wantLocked), tick_(tick), inUse_(FilesInUse::Now()) {}

  void Folder(const fs::path& folder) {
    std::error_code ec;
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
      entries.push_back(*it);
      Tick();
    }
    if (ec) {
      out_.unreadable.push_back({PathText(folder), ec});
      if (entries.empty()) return;  // what could be read is still taken
    }
    std::sort(entries.begin(), entries.end(), [](const fs::directory_entry& a, const fs::directory_entry& b) {
      return a.path().filename().native() < b.path().filename().native();
    });
    for (const auto& entry : entries) {
      Tick();
      const fs::path& p = entry.path();
      if (IsHousekeepingName(PathText(p.filename()))) continue;  // ours, never a user's file
      const fs::file_status st = entry.symlink_status(ec);
      if (ec) {
        out_.unreadable.push_back({PathText(p), ec});
        continue;
      }
      if (fs::is_symlink(st)) {
        ++out_.links;
      } else if (fs::is_directory(st)) {
        Folder(p);
      } else if (!fs::is_regular_file(st)) {
        ++out_.special;
      } else if (inUse_.Holds(p)) {
        ++out_.inUse;
      } else if (AlreadyDone(p)) {
        ++out_.alreadyDone;
      } else {
        out_.files.push_back(PathText(p));
      }
    }
  }

 private:
  // A file whose head says it is already what the batch would make of it.
  // One that cannot be read is taken: the engine then says why.
  bool AlreadyDone(const fs::path& file) const {
    if (!wantLocked_) return false;
    const auto head = ReadFileHead(file);
    return head && format::IsLocked(*head) == *wantLocked_;
  }

  void Tick() {
    if (tick_ && ++entries_ % kTickEvery == 0) tick_();
  }

  FolderBatch& out_;
  std::optional<bool> wantLocked_;
  const std::function<void()>& tick_;
  FilesInUse inUse_;
  std::size_t entries_ = 0;
};

}  // namespace

bool IsFolder(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(fs::symlink_status(PathFromText(path), ec));
}

FolderBatch ExpandFolders(std::span<const std::string> paths, std::optional<bool> wantLocked,
                          const std::function<void()>& tick) {
  FolderBatch out;
  Walker walker(out, wantLocked, tick);
  for (const auto& p : paths) {
    if (IsFolder(p)) {
      out.hadFolder = true;
      walker.Folder(PathFromText(p));
    } else {
      out.files.push_back(p);
    }
  }
  return out;
}

}  // namespace sealdoor
