#include "selection.h"

namespace sealdoor::ui {

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
    s.paths.push_back(segments[0]);
    const auto slash = segments[0].rfind('/');
    s.names.push_back(slash == std::string::npos ? segments[0] : segments[0].substr(slash + 1));
    return s;
  }
  s.several = true;
  for (std::size_t i = 1; i < segments.size(); ++i) {
    s.paths.push_back(segments[0] + "/" + segments[i]);
    s.names.push_back(segments[i]);
  }
  return s;
}

}  // namespace sealdoor::ui
