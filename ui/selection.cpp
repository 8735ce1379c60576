#include "selection.h"

#include <algorithm>

#include "engine/path_text.h"

namespace sealdoor::ui {
namespace {

constexpr char kSeparator = static_cast<char>(std::filesystem::path::preferred_separator);

// Where the bare name of a full path begins: its last component.
std::uint32_t NameStart(const std::string& path) {
  return static_cast<std::uint32_t>(path.size() - PathText(PathFromText(path).filename()).size());
}

// A drive's root ("C:\\") or "/" ends with its separator already: the name
// follows it directly, so messages show no doubled separator.
bool EndsWithSeparator(std::string_view folder) {
  return !folder.empty() && (folder.back() == kSeparator || folder.back() == '/');
}

}  // namespace

std::filesystem::path Selection::Path(std::size_t i) const { return PathFromText(paths[i]); }

Selection Selection::Only(const std::vector<std::size_t>& places) const {
  Selection s;
  s.several = several;
  for (const std::size_t i : places) {
    s.paths.push_back(paths[i]);
    s.nameStart.push_back(nameStart[i]);
  }
  return s;
}

Selection SplitSelection(std::string_view selection) {
  Selection s;
  const std::size_t firstNul = selection.find('\0');
  if (firstNul == std::string_view::npos) {
    s.paths.emplace_back(selection);
    s.nameStart.push_back(NameStart(s.paths.back()));
    return s;
  }
  s.several = true;
  const std::string_view folder = selection.substr(0, firstNul);
  for (std::size_t from = firstNul + 1;;) {
    const std::size_t end = std::min(selection.find('\0', from), selection.size());
    const std::string_view segment = selection.substr(from, end - from);
    if (PathFromText(segment).is_absolute()) {
      s.paths.emplace_back(segment);
      s.nameStart.push_back(NameStart(s.paths.back()));
    } else {
      std::string& path = s.paths.emplace_back();
      path.reserve(folder.size() + 1 + segment.size());
      path.append(folder);
      if (!EndsWithSeparator(folder)) path.append(1, kSeparator);
      s.nameStart.push_back(static_cast<std::uint32_t>(path.size()));
      path.append(segment);
    }
    if (end == selection.size()) break;
    from = end + 1;
  }
  return s;
}

std::string SelectionFromPaths(const std::vector<std::string>& paths) {
  if (paths.empty()) return {};
  if (paths.size() == 1) return paths.front();
  const std::filesystem::path folder = PathFromText(paths.front()).parent_path();
  std::string text = PathText(folder);
  for (const auto& p : paths) {
    text += '\0';
    const std::filesystem::path path = PathFromText(p);
    text += path.parent_path() == folder ? PathText(path.filename()) : p;
  }
  return text;
}

}  // namespace sealdoor::ui
