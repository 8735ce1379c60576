#include "engine/path_text.h"

#include "wide.h"

namespace sealdoor {

std::string PathText(const std::filesystem::path& p) { return win32::Narrow(p.native()); }

std::filesystem::path PathFromText(std::string_view text) { return std::filesystem::path(win32::Widen(text)); }

}  // namespace sealdoor
