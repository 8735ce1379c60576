#include "selection.h"

#include "engine/path_text.h"

namespace sealdoor::ui {
namespace {

constexpr char kSeparator = static_cast<char>(std::filesystem::path::preferred_separator);

std::string NameOf(const std::string& path) { return PathText(PathFromText(path).filename()); }

}  // namespace

Selection SplitSelection(std::string_view selection) {
  Selection s;
  std::vector<std::string> segments(1);
  for (const char c : selection) {
    if (c == '\0')
      segments.emplace_back();
    else
      segments.back() += c;
  }
  if (segments.size() == 1) {
    s.paths.push_back(PathFromText(segments[0]));
    s.names.push_back(NameOf(segments[0]));
    return s;
  }
  s.several = true;
  for (std::size_t i = 1; i < segments.size(); ++i) {
    const std::filesystem::path own = PathFromText(segments[i]);
    if (own.is_absolute()) {
      s.paths.push_back(own);
      s.names.push_back(NameOf(segments[i]));
    } else {
      s.paths.push_back(PathFromText(segments[0] + kSeparator + segments[i]));
      s.names.push_back(segments[i]);
    }
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
